# The office page's server: sign-in, sessions, tokens, limits and routes over loopback, with a fake program
# behind it.
add_executable(web_access_test ${CMAKE_CURRENT_LIST_DIR}/access_test.cpp)
target_link_libraries(web_access_test PRIVATE lingchao_web lingchao_testsupport GTest::gtest_main)
add_test(NAME web_access_test COMMAND web_access_test)
set_tests_properties(web_access_test PROPERTIES TIMEOUT 180)

add_executable(web_settings_test ${CMAKE_CURRENT_LIST_DIR}/settings_test.cpp)
target_link_libraries(web_settings_test PRIVATE lingchao_web lingchao_testsupport GTest::gtest_main)
add_test(NAME web_settings_test COMMAND web_settings_test)
set_tests_properties(web_settings_test PROPERTIES TIMEOUT 120)

# The server's test talks to it as clients do, over QtNetwork.
find_package(Qt6 REQUIRED COMPONENTS Network)
add_executable(web_server_test ${CMAKE_CURRENT_LIST_DIR}/server_test.cpp)
target_link_libraries(web_server_test PRIVATE lingchao_web lingchao_testsupport Qt6::Network GTest::gtest)
add_test(NAME web_server_test COMMAND web_server_test)
set_tests_properties(web_server_test PROPERTIES TIMEOUT 300)

# What the page shows of today, read from the program's files, and today's actions on the calendar.
add_executable(web_day_status_test ${CMAKE_CURRENT_LIST_DIR}/day_status_test.cpp)
target_link_libraries(web_day_status_test PRIVATE lingchao_web lingchao_testsupport GTest::gtest_main)
add_test(NAME web_day_status_test COMMAND web_day_status_test)
set_tests_properties(web_day_status_test PROPERTIES TIMEOUT 120)

if(LINGCHAO_SANITIZE)
    set_tests_properties(web_server_test PROPERTIES
        ENVIRONMENT "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/openssl.supp")
endif()
