# A bell's sound start with and without the prepared next bell: `make bench_sound_start`.
find_package(Qt6 REQUIRED COMPONENTS Core)
add_executable(bench_sound_start ${CMAKE_CURRENT_LIST_DIR}/sound_start.cpp)
target_link_libraries(bench_sound_start PRIVATE lingchao_player PkgConfig::GST Qt6::Core)
add_custom_target(bench_sound_start_run
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/sound_start.sh ${CMAKE_BINARY_DIR}
    DEPENDS bench_sound_start
    USES_TERMINAL
    COMMENT "Sound start through a private null sink, opened on the tick and prepared ahead")
