# The school calendar: its file, the rule of a date, the plan of a day.
foreach(test calendar_test day_plan_test checktime_calendar_test)
    add_executable(scheduler_${test} ${CMAKE_CURRENT_LIST_DIR}/${test}.cpp)
    target_link_libraries(scheduler_${test} PRIVATE lingchao_testsupport GTest::gtest_main)
    add_test(NAME scheduler_${test} COMMAND scheduler_${test})
    set_tests_properties(scheduler_${test} PROPERTIES TIMEOUT 120)
endforeach()
