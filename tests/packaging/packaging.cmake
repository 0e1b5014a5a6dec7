# The built Debian package, checked with lintian, desktop-file-validate and appstreamcli.
add_test(NAME package_lint COMMAND ${CMAKE_CURRENT_LIST_DIR}/package_lint_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(package_lint PROPERTIES TIMEOUT 600 SKIP_REGULAR_EXPRESSION "SKIP: ")

# The systemd user unit that restarts the program, and the autostart entry that starts it.
add_test(NAME packaging_user_unit COMMAND ${CMAKE_CURRENT_LIST_DIR}/user_unit_test.sh ${PROJECT_SOURCE_DIR}
    $<TARGET_FILE:lingchao>)
set_tests_properties(packaging_user_unit PROPERTIES TIMEOUT 120)
