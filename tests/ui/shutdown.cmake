find_package(Qt6 REQUIRED COMPONENTS Test)
# Widget tests of the shutdown dialogs, offscreen.
foreach(name shutdown_settings_dialog_test shutdown_confirm_test)
    add_executable(ui_${name} ${CMAKE_CURRENT_LIST_DIR}/${name}.cpp)
    set_target_properties(ui_${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(ui_${name} PRIVATE lingchao_ui lingchao_testsupport Qt6::Test)
    add_test(NAME ui_${name} COMMAND ui_${name})
    set_tests_properties(ui_${name} PROPERTIES TIMEOUT 120
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTEST_FUNCTION_TIMEOUT=100000")
endforeach()

# Shows each dialog for a screenshot under X (not a ctest test).
add_executable(ui_shutdown_screenshot_test ${CMAKE_CURRENT_LIST_DIR}/shutdown_screenshot_test.cpp)
target_link_libraries(ui_shutdown_screenshot_test PRIVATE lingchao_ui lingchao_testsupport)
