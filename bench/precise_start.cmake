# How close to its minute's start a bell sounds, a bell a minute through a private null sink:
# `make bench_precise_start_run` (BENCH_MINUTES bells, 10 by default: about as many minutes of wall time).
add_executable(bench_precise_start ${CMAKE_CURRENT_LIST_DIR}/precise_start.cpp)
target_link_libraries(bench_precise_start PRIVATE lingchao_bell lingchao_player Qt6::Core)
add_custom_target(bench_precise_start_run
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/precise_start.sh ${CMAKE_BINARY_DIR}
    DEPENDS bench_precise_start bells
    USES_TERMINAL
    COMMENT "How close to its minute's start a bell sounds, through a private null sink")
