# Drills asked of the running copy over a private session bus: answers given later, refusals, no copy, a copy that
# does not answer, a flood.
add_executable(platform_signal_bus_test ${CMAKE_CURRENT_LIST_DIR}/signal_bus_test.cpp)
target_link_libraries(platform_signal_bus_test PRIVATE lingchao_platform GTest::gtest)
add_test(NAME platform_signal_bus_test COMMAND platform_signal_bus_test)
set_tests_properties(platform_signal_bus_test PROPERTIES TIMEOUT 180 SKIP_RETURN_CODE 77)
