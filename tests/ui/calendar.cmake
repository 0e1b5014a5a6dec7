# The calendar window, its entry dialog and the today-only menu items (offscreen).
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(ui_calendar_window_test ${CMAKE_CURRENT_LIST_DIR}/calendar_window_test.cpp)
target_link_libraries(ui_calendar_window_test PRIVATE lingchao_ui lingchao_testsupport lingchao_qt_gtest_main Qt6::Test)
target_compile_definitions(ui_calendar_window_test PRIVATE
    LINGCHAO_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/platform/data")
add_test(NAME ui_calendar_window_test COMMAND ui_calendar_window_test)
set_tests_properties(ui_calendar_window_test PROPERTIES TIMEOUT 120
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTEST_FUNCTION_TIMEOUT=100000")
