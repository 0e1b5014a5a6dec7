# What the windows opened from the main window block and where they appear (offscreen).
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(ui_main_window_dialogs_test ${CMAKE_CURRENT_LIST_DIR}/main_window_dialogs_test.cpp)
target_link_libraries(ui_main_window_dialogs_test PRIVATE lingchao_ui lingchao_testsupport lingchao_qt_gtest_main Qt6::Test)
add_test(NAME ui_main_window_dialogs_test COMMAND ui_main_window_dialogs_test)
set_tests_properties(ui_main_window_dialogs_test PROPERTIES TIMEOUT 120
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTEST_FUNCTION_TIMEOUT=100000")
