# The next bell's music opened ahead of its minute, and dropped when the minute will not ring it.
add_executable(scheduler_bell_preparer_test ${CMAKE_CURRENT_LIST_DIR}/bell_preparer_test.cpp)
target_link_libraries(scheduler_bell_preparer_test PRIVATE lingchao_testsupport GTest::gtest_main)
add_test(NAME scheduler_bell_preparer_test COMMAND scheduler_bell_preparer_test)
set_tests_properties(scheduler_bell_preparer_test PROPERTIES TIMEOUT 120)
