# The state of the sound output (default sink, mute, volume, port) read through libpulse.
find_package(PkgConfig REQUIRED)
pkg_check_modules(LINGCHAO_PULSE REQUIRED IMPORTED_TARGET libpulse)
target_sources(lingchao_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/pulse_output.cpp)
target_link_libraries(lingchao_platform PRIVATE PkgConfig::LINGCHAO_PULSE)
