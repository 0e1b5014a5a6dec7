# A short fuzzing run of every decoder of stored files; the long run is `tools/fuzz.sh 600`. The fuzzers are
# built with the rest (not by the test, where a loaded machine could spend the test's time compiling).
find_program(LINGCHAO_CLANGXX clang++)
if(LINGCHAO_CLANGXX AND NOT LINGCHAO_SANITIZE)
    add_custom_target(fuzzers ALL
        COMMAND ${PROJECT_SOURCE_DIR}/tools/fuzz.sh 0 ${CMAKE_BINARY_DIR}/fuzz
        COMMENT "Building the libFuzzer targets with clang")
    add_test(NAME fuzz_short COMMAND ${PROJECT_SOURCE_DIR}/tools/fuzz.sh 10 ${CMAKE_BINARY_DIR}/fuzz)
    set_tests_properties(fuzz_short PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)
endif()
