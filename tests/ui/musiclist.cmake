# Widget tests of the music-list editor window (offscreen), and a stand-in program for looking at it under X.
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(ui_music_list_window_test ${CMAKE_CURRENT_LIST_DIR}/music_list_window_test.cpp)
target_link_libraries(ui_music_list_window_test PRIVATE lingchao_ui lingchao_testsupport Qt6::Test)
add_test(NAME ui_music_list_window_test COMMAND ui_music_list_window_test)
set_tests_properties(ui_music_list_window_test PROPERTIES TIMEOUT 120
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTEST_FUNCTION_TIMEOUT=100000")

add_executable(music_list_preview ${CMAKE_CURRENT_LIST_DIR}/music_list_preview.cpp)
target_link_libraries(music_list_preview PRIVATE lingchao_ui lingchao_testsupport Qt6::Test)
