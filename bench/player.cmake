# Bell latency and idle cost of the GStreamer player (its own main: it needs a Qt event loop).
find_package(Qt6 REQUIRED COMPONENTS Core)
add_executable(bench_player ${CMAKE_CURRENT_LIST_DIR}/bench_player.cpp)
target_link_libraries(bench_player PRIVATE lingchao_player PkgConfig::GST Qt6::Core)
