# The drill and emergency windows: the plans' buttons and countdown, the panel by the clock, the records (offscreen).
# LINGCHAO_SIGNAL_SHOT=<png> makes the test also draw the panel under the clock for the README.
add_executable(ui_signal_window_test ${CMAKE_CURRENT_LIST_DIR}/signal_window_test.cpp)
target_link_libraries(ui_signal_window_test PRIVATE lingchao_ui lingchao_testsupport lingchao_qt_gtest_main Qt6::Test)
add_test(NAME ui_signal_window_test COMMAND ui_signal_window_test)
set_tests_properties(ui_signal_window_test PROPERTIES TIMEOUT 120
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTEST_FUNCTION_TIMEOUT=100000")
