# Import of iCalendar files (.ics) through libical.
add_executable(platform_ical_import_test ${CMAKE_CURRENT_LIST_DIR}/ical_import_test.cpp)
target_link_libraries(platform_ical_import_test PRIVATE lingchao_platform lingchao_testsupport GTest::gtest_main)
target_compile_definitions(platform_ical_import_test PRIVATE LINGCHAO_TEST_DATA="${CMAKE_CURRENT_LIST_DIR}/data")
add_test(NAME platform_ical_import_test COMMAND platform_ical_import_test)
set_tests_properties(platform_ical_import_test PROPERTIES TIMEOUT 120)
# The test asks libical's own iterator what a repeating event's dates are.
find_package(PkgConfig REQUIRED)
pkg_check_modules(LINGCHAO_ICAL_TEST REQUIRED IMPORTED_TARGET libical)
target_link_libraries(platform_ical_import_test PRIVATE PkgConfig::LINGCHAO_ICAL_TEST)
