# Paths written on another computer: found by name, and tidied in place.
add_executable(music_found_by_name_test ${CMAKE_CURRENT_LIST_DIR}/found_by_name_test.cpp)
target_link_libraries(music_found_by_name_test PRIVATE lingchao_music lingchao_testsupport GTest::gtest_main)
add_test(NAME music_found_by_name_test COMMAND music_found_by_name_test)
set_tests_properties(music_found_by_name_test PROPERTIES TIMEOUT 120)

# The old program's folder copied in: asked, copied, refused, backed up and put back.
add_executable(music_old_files_import_test ${CMAKE_CURRENT_LIST_DIR}/old_files_import_test.cpp)
target_link_libraries(music_old_files_import_test PRIVATE lingchao_music lingchao_testsupport GTest::gtest_main)
add_test(NAME music_old_files_import_test COMMAND music_old_files_import_test)
set_tests_properties(music_old_files_import_test PROPERTIES TIMEOUT 120)
