# The clock-sync watch: its text and board handling, and timedated asked on a private dbus-daemon.
add_executable(platform_clock_sync_test ${CMAKE_CURRENT_LIST_DIR}/clock_sync_test.cpp)
target_link_libraries(platform_clock_sync_test PRIVATE lingchao_platform lingchao_testsupport GTest::gtest_main)
add_test(NAME platform_clock_sync_test COMMAND platform_clock_sync_test)

add_executable(fake_timedated ${CMAKE_CURRENT_LIST_DIR}/fake_timedated.cpp)
set_target_properties(fake_timedated PROPERTIES AUTOMOC ON)
target_link_libraries(fake_timedated PRIVATE lingchao_settings Qt6::DBus)
add_executable(clock_sync_probe ${CMAKE_CURRENT_LIST_DIR}/clock_sync_probe.cpp)
target_link_libraries(clock_sync_probe PRIVATE lingchao_platform)
add_test(NAME platform_clock_sync_dbus_test
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/clock_sync_test.sh $<TARGET_FILE:clock_sync_probe> $<TARGET_FILE:fake_timedated>)
set_tests_properties(platform_clock_sync_dbus_test PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
