# Widget tests of the main window and the job editor (offscreen, no display needed).
find_package(Qt6 REQUIRED COMPONENTS Test)
foreach(test main_window_test job_editor_test)
    add_executable(ui_${test} ${CMAKE_CURRENT_LIST_DIR}/${test}.cpp)
    target_link_libraries(ui_${test} PRIVATE lingchao_ui lingchao_testsupport lingchao_qt_gtest_main Qt6::Test)
    add_test(NAME ui_${test} COMMAND ui_${test})
    set_tests_properties(ui_${test} PROPERTIES TIMEOUT 120
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTEST_FUNCTION_TIMEOUT=100000")
endforeach()
