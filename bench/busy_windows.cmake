# The bell's lateness with the windows' thread busy around each minute, beside idle: `make bench_busy_windows_run`
# (about 7 minutes of wall time; BENCH_MINUTES sets the bells per run).
add_executable(bench_busy_windows ${CMAKE_CURRENT_LIST_DIR}/busy_windows.cpp)
target_link_libraries(bench_busy_windows PRIVATE lingchao_bell lingchao_player Qt6::Core)
add_custom_target(bench_busy_windows_run
    COMMAND bench_busy_windows ${CMAKE_BINARY_DIR}/share/music/上课铃.wav
    DEPENDS bench_busy_windows bells
    USES_TERMINAL
    COMMENT "Bell lateness with the windows' thread busy around each minute")
