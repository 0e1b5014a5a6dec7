# Caps on what others can make the program hold or show: the rate limit of what they send, long texts.
foreach(name rate_limit_test text_test)
    add_executable(base_${name} ${CMAKE_CURRENT_LIST_DIR}/${name}.cpp)
    target_link_libraries(base_${name} PRIVATE lingchao_base GTest::gtest_main)
    add_test(NAME base_${name} COMMAND base_${name})
    set_tests_properties(base_${name} PROPERTIES TIMEOUT 60)
endforeach()
