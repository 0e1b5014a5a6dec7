# How late the bells of a generated morning ring in the real program (sped-up clock, a few minutes of wall time):
# `make bench_bell_lateness`. Not a test: it reports figures; it fails only when the bell log misses a job.
add_custom_target(bench_bell_lateness
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/bell_lateness.sh ${CMAKE_BINARY_DIR}
    DEPENDS lingchao bells
    USES_TERMINAL
    COMMENT "Bell lateness over a generated morning")
# What the program costs while it waits: `make bench_idle` (wake-ups per second, CPU, threads; about 90 s).
add_custom_target(bench_idle
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/idle.sh ${CMAKE_BINARY_DIR}
    DEPENDS lingchao bells
    USES_TERMINAL
    COMMENT "The program's cost while it waits for the next bell")
