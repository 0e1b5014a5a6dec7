# The music self-check on its worker thread: folded requests, a prompt end, and the real probe over long lists.
find_package(Qt6 REQUIRED COMPONENTS Core)
add_executable(bell_self_check_runner_test ${CMAKE_CURRENT_LIST_DIR}/self_check_runner_test.cpp)
target_link_libraries(bell_self_check_runner_test PRIVATE lingchao_bell lingchao_player lingchao_testsupport
    PkgConfig::GST Qt6::Core GTest::gtest)
add_test(NAME bell_self_check_runner_test COMMAND bell_self_check_runner_test)
set_tests_properties(bell_self_check_runner_test PROPERTIES TIMEOUT 180
    ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/player/lsan.supp;ASAN_OPTIONS=fast_unwind_on_malloc=0")
