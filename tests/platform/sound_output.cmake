# The libpulse output monitor against a private PulseAudio with a null sink (skipped without pulseaudio).
add_executable(platform_pulse_output_test ${CMAKE_CURRENT_LIST_DIR}/pulse_output_test.cpp)
target_link_libraries(platform_pulse_output_test PRIVATE lingchao_platform lingchao_testsupport GTest::gtest)
add_test(NAME platform_pulse_output_test COMMAND platform_pulse_output_test)
set_tests_properties(platform_pulse_output_test PROPERTIES TIMEOUT 120)

# Raising the default output to full and putting it back, against the same private PulseAudio.
add_executable(platform_pulse_volume_test ${CMAKE_CURRENT_LIST_DIR}/pulse_volume_test.cpp)
target_link_libraries(platform_pulse_volume_test PRIVATE lingchao_platform lingchao_testsupport GTest::gtest)
add_test(NAME platform_pulse_volume_test COMMAND platform_pulse_volume_test)
set_tests_properties(platform_pulse_volume_test PROPERTIES TIMEOUT 120)
