# The crash-safety test stops its child at chosen points and kills it there; the stress run kills at random
# moments, a thousand times, and is left out of ctest (build/bin/store_crash_stress [kills] [seed]).
add_library(lingchao_crash_harness OBJECT ${CMAKE_CURRENT_LIST_DIR}/crash_harness.cpp)
target_link_libraries(lingchao_crash_harness PUBLIC lingchao_testsupport)

add_executable(store_crash_safety_test ${CMAKE_CURRENT_LIST_DIR}/crash_safety_test.cpp)
target_link_libraries(store_crash_safety_test PRIVATE lingchao_crash_harness GTest::gtest_main)
add_test(NAME store_crash_safety_test COMMAND store_crash_safety_test)
set_tests_properties(store_crash_safety_test PROPERTIES TIMEOUT 300)
# A killed process needs no disk sync to prove anything, and on a memory file system the thousands of syncs of
# the run cost nothing.
if(IS_DIRECTORY /dev/shm)
    set_tests_properties(store_crash_safety_test PROPERTIES ENVIRONMENT TMPDIR=/dev/shm)
endif()

add_executable(store_crash_stress ${CMAKE_CURRENT_LIST_DIR}/crash_stress.cpp)
target_link_libraries(store_crash_stress PRIVATE lingchao_crash_harness)
