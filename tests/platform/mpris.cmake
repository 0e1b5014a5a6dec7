# The player on the session bus: what a flood of remote commands gets (no bus needed: the adaptors are called).
add_executable(platform_mpris_test ${CMAKE_CURRENT_LIST_DIR}/mpris_test.cpp)
target_link_libraries(platform_mpris_test PRIVATE lingchao_platform GTest::gtest)
add_test(NAME platform_mpris_test COMMAND platform_mpris_test)
set_tests_properties(platform_mpris_test PROPERTIES TIMEOUT 120)
