# The campus: its settings, the messages between its PCs and what a follower applies of them.
add_executable(campus_settings_test ${CMAKE_CURRENT_LIST_DIR}/settings_test.cpp)
target_link_libraries(campus_settings_test PRIVATE lingchao_campus lingchao_testsupport GTest::gtest_main)
add_test(NAME campus_settings_test COMMAND campus_settings_test)
set_tests_properties(campus_settings_test PROPERTIES TIMEOUT 120)

# The timetable and calendar a follower takes from the main, the hostile ones it refuses, and the status messages.
add_executable(campus_files_test ${CMAKE_CURRENT_LIST_DIR}/files_test.cpp)
target_link_libraries(campus_files_test PRIVATE lingchao_campus lingchao_testsupport GTest::gtest_main)
add_test(NAME campus_files_test COMMAND campus_files_test)
set_tests_properties(campus_files_test PROPERTIES TIMEOUT 120)

# The service between the PCs, against a private Mosquitto on loopback: a main and its followers, hostile messages,
# a standby's watch and the cut-off warning on an injected clock.
add_executable(campus_service_test ${CMAKE_CURRENT_LIST_DIR}/service_test.cpp)
target_link_libraries(campus_service_test PRIVATE lingchao_campus lingchao_testsupport GTest::gtest)
add_test(NAME campus_service_test COMMAND campus_service_test)
set_tests_properties(campus_service_test PROPERTIES TIMEOUT 300)
