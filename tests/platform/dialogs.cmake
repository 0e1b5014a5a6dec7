# The Qt message boxes and file dialogs, answered from the event loop (offscreen).
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(platform_dialogs_test ${CMAKE_CURRENT_LIST_DIR}/dialogs_test.cpp)
target_link_libraries(platform_dialogs_test PRIVATE lingchao_platform lingchao_testsupport lingchao_qt_gtest_main Qt6::Test)
add_test(NAME platform_dialogs_test COMMAND platform_dialogs_test)
set_tests_properties(platform_dialogs_test PROPERTIES TIMEOUT 120
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTEST_FUNCTION_TIMEOUT=100000")
