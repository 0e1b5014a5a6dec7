# Desktop tests: splash, clock, hotkey module; the stand-in program for looking at the windows.
find_package(Qt6 REQUIRED COMPONENTS Test)

add_executable(desktop_preview ui/desktop_preview.cpp)
target_link_libraries(desktop_preview PRIVATE lingchao_ui)

foreach(name clock_window_test splash_test)
    add_executable(ui_${name} ui/${name}.cpp)
    target_link_libraries(ui_${name} PRIVATE lingchao_ui lingchao_testsupport Qt6::Test)
    add_test(NAME ui_${name} COMMAND ui_${name})
    set_tests_properties(ui_${name} PROPERTIES TIMEOUT 120
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTEST_FUNCTION_TIMEOUT=100000")
endforeach()

add_executable(ui_rejian_test ui/rejian_test.cpp)
target_link_libraries(ui_rejian_test PRIVATE lingchao_ui lingchao_testsupport GTest::gtest_main)
add_test(NAME ui_rejian_test COMMAND ui_rejian_test)
set_tests_properties(ui_rejian_test PROPERTIES TIMEOUT 120)

# The tools the whole program on a real X server needs.
find_program(LINGCHAO_XVFB Xvfb)
find_program(LINGCHAO_XDOTOOL xdotool)
find_program(LINGCHAO_OPENBOX openbox)
find_program(LINGCHAO_IMPORT import)
# The real program on a private X server; alone, as the other end-to-end tests run: it times windows on a display.
if(LINGCHAO_XVFB AND LINGCHAO_XDOTOOL AND LINGCHAO_OPENBOX AND LINGCHAO_IMPORT)
    add_test(NAME e2e_desktop COMMAND ${PROJECT_SOURCE_DIR}/tests/e2e/desktop_e2e.sh $<TARGET_FILE:lingchao>)
    set_tests_properties(e2e_desktop PROPERTIES TIMEOUT 240 RUN_SERIAL TRUE SKIP_REGULAR_EXPRESSION "SKIP: ")
endif()
