# The logind requester and sleep inhibitor against a fake login manager on a private dbus-daemon.
add_executable(fake_logind ${CMAKE_CURRENT_LIST_DIR}/fake_logind.cpp)
set_target_properties(fake_logind PROPERTIES AUTOMOC ON)
target_link_libraries(fake_logind PRIVATE lingchao_settings Qt6::DBus)

add_executable(shutdown_requester_probe ${CMAKE_CURRENT_LIST_DIR}/shutdown_requester_test.cpp)
target_link_libraries(shutdown_requester_probe PRIVATE lingchao_platform)

add_executable(sleep_inhibitor_probe ${CMAKE_CURRENT_LIST_DIR}/sleep_inhibitor_test.cpp)
target_link_libraries(sleep_inhibitor_probe PRIVATE lingchao_platform)

add_test(NAME platform_shutdown_requester_test
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/shutdown_requester_test.sh
        $<TARGET_FILE:shutdown_requester_probe> $<TARGET_FILE:fake_logind> $<TARGET_FILE:sleep_inhibitor_probe>)
set_tests_properties(platform_shutdown_requester_test PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
