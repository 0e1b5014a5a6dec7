# Clock changes under the real program: daylight saving in both directions and a step back, with a stand-in
# login manager for the sleep inhibitor. Real time and the fixed single-instance rules: it runs alone.
add_test(NAME e2e_time COMMAND ${CMAKE_CURRENT_LIST_DIR}/time_e2e.sh ${CMAKE_BINARY_DIR})
set_tests_properties(e2e_time PROPERTIES
    TIMEOUT 300
    RUN_SERIAL TRUE
    SKIP_REGULAR_EXPRESSION "SKIP: "
    ENVIRONMENT "CMAKE=${CMAKE_COMMAND}")
