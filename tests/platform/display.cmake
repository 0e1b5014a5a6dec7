# How the program meets X11, Wayland (with or without XWayland) or no display.
add_executable(platform_display_session_test ${CMAKE_CURRENT_LIST_DIR}/display_session_test.cpp)
target_link_libraries(platform_display_session_test PRIVATE lingchao_platform GTest::gtest_main)
add_test(NAME platform_display_session_test COMMAND platform_display_session_test)
