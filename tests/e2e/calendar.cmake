# The school calendar end to end: the installed program, headless under a faked clock, across restarts.
add_test(NAME e2e_calendar COMMAND ${CMAKE_CURRENT_LIST_DIR}/calendar_e2e.sh ${CMAKE_BINARY_DIR})
set_tests_properties(e2e_calendar PROPERTIES
    TIMEOUT 400
    RUN_SERIAL TRUE
    SKIP_REGULAR_EXPRESSION "SKIP: "
    ENVIRONMENT "CMAKE=${CMAKE_COMMAND}")
