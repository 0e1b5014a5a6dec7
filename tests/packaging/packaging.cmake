# The built Debian package, checked with lintian, desktop-file-validate and appstreamcli.
add_test(NAME package_lint COMMAND ${CMAKE_CURRENT_LIST_DIR}/package_lint_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(package_lint PROPERTIES TIMEOUT 600 SKIP_REGULAR_EXPRESSION "SKIP: ")
