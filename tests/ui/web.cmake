# The office page's window (网页控制): its settings written with hashes only, failures told with the window kept
# open, a new token shown once, the QR code of the address module by module (offscreen). The QR code is also read
# back with zbarimg when it is installed. LINGCHAO_WEB_SHOT=<png> also saves a picture of the window.
find_package(PkgConfig REQUIRED)
pkg_check_modules(LINGCHAO_QRENCODE_TEST REQUIRED IMPORTED_TARGET libqrencode)
add_executable(ui_web_window_test ${CMAKE_CURRENT_LIST_DIR}/web_window_test.cpp)
target_link_libraries(ui_web_window_test PRIVATE lingchao_ui lingchao_testsupport lingchao_qt_gtest_main Qt6::Test
    PkgConfig::LINGCHAO_QRENCODE_TEST)
add_test(NAME ui_web_window_test COMMAND ui_web_window_test)
set_tests_properties(ui_web_window_test PROPERTIES TIMEOUT 120
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTEST_FUNCTION_TIMEOUT=100000")
