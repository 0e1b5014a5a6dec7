# Whole-file writes seen from outside: a recorder of system calls preloaded into a driver process (built plain,
# without the sanitizers, as nothing of the program's own), and a driver run under a file size limit.
add_library(lingchao_syscall_recorder SHARED ${CMAKE_CURRENT_LIST_DIR}/syscall_recorder.c)
target_link_libraries(lingchao_syscall_recorder PRIVATE ${CMAKE_DL_LIBS})

add_executable(file_util_driver ${CMAKE_CURRENT_LIST_DIR}/file_util_driver.cpp)
target_link_libraries(file_util_driver PRIVATE lingchao_base)

add_executable(base_durability_test ${CMAKE_CURRENT_LIST_DIR}/durability_test.cpp)
target_link_libraries(base_durability_test PRIVATE lingchao_testsupport GTest::gtest_main)
target_compile_definitions(base_durability_test PRIVATE
    LINGCHAO_FILE_UTIL_DRIVER="$<TARGET_FILE:file_util_driver>"
    LINGCHAO_SYSCALL_RECORDER="$<TARGET_FILE:lingchao_syscall_recorder>")
add_dependencies(base_durability_test file_util_driver lingchao_syscall_recorder)
add_test(NAME base_durability_test COMMAND base_durability_test)
set_tests_properties(base_durability_test PROPERTIES TIMEOUT 60)
