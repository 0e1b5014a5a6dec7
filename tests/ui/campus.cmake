# The 校园 window: its settings through lingchao.ini with a refused value kept in the window beside its problem,
# the table of PCs with a worrying one in red, the menu item's caption, and the main window read-only on a follower
# (offscreen). LINGCHAO_CAMPUS_SHOT=<png> also saves a picture of the window with three PCs for the README.
add_executable(ui_campus_window_test ${CMAKE_CURRENT_LIST_DIR}/campus_window_test.cpp)
target_link_libraries(ui_campus_window_test PRIVATE lingchao_ui lingchao_testsupport lingchao_qt_gtest_main Qt6::Test)
add_test(NAME ui_campus_window_test COMMAND ui_campus_window_test)
set_tests_properties(ui_campus_window_test PROPERTIES TIMEOUT 120
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTEST_FUNCTION_TIMEOUT=100000")
