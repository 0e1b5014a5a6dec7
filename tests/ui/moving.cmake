# The import of the old program's folder and the tidy table, offscreen.
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(ui_moving_test ${CMAKE_CURRENT_LIST_DIR}/moving_test.cpp)
target_link_libraries(ui_moving_test PRIVATE lingchao_ui lingchao_testsupport lingchao_qt_gtest_main Qt6::Test)
add_test(NAME ui_moving_test COMMAND ui_moving_test)
set_tests_properties(ui_moving_test PROPERTIES TIMEOUT 120
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTEST_FUNCTION_TIMEOUT=100000")
