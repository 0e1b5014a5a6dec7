add_executable(ui_about_box_test ${CMAKE_CURRENT_LIST_DIR}/about_box_test.cpp)
target_link_libraries(ui_about_box_test PRIVATE lingchao_ui lingchao_testsupport lingchao_qt_gtest_main Qt6::Test)
add_test(NAME ui_about_box_test COMMAND ui_about_box_test)
set_tests_properties(ui_about_box_test PROPERTIES TIMEOUT 60 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
