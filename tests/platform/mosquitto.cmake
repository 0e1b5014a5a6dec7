# The MQTT link to the campus broker, against a private Mosquitto on loopback.
add_executable(platform_mosquitto_link_test ${CMAKE_CURRENT_LIST_DIR}/mosquitto_link_test.cpp)
target_link_libraries(platform_mosquitto_link_test PRIVATE lingchao_platform lingchao_testsupport GTest::gtest_main)
add_test(NAME platform_mosquitto_link_test COMMAND platform_mosquitto_link_test)
set_tests_properties(platform_mosquitto_link_test PROPERTIES TIMEOUT 180)
