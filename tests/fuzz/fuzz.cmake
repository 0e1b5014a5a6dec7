# A short fuzzing run of every decoder of stored files; the long run is `tools/fuzz.sh 600`.
find_program(LINGCHAO_CLANGXX clang++)
if(LINGCHAO_CLANGXX)
    add_test(NAME fuzz_short COMMAND ${PROJECT_SOURCE_DIR}/tools/fuzz.sh 10 ${CMAKE_BINARY_DIR}/fuzz)
    set_tests_properties(fuzz_short PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)
endif()
