# End-to-end proofs that the installed program rings on the minute. They use real time, a private sound server
# and the program's fixed single-instance rules, so they run alone; each prints "SKIP: ..." when a tool is missing.
foreach(name bell_on_the_minute suspend hostile_folder sound_proof stop)
    add_test(NAME e2e_${name} COMMAND ${CMAKE_CURRENT_LIST_DIR}/${name}_e2e.sh ${CMAKE_BINARY_DIR})
    set_tests_properties(e2e_${name} PROPERTIES
        TIMEOUT 300
        RUN_SERIAL TRUE
        SKIP_REGULAR_EXPRESSION "SKIP: "
        ENVIRONMENT "CMAKE=${CMAKE_COMMAND}")
endforeach()
# Drills and emergencies: two minutes of a real drill through a private sound server and session bus.
add_test(NAME e2e_signal COMMAND ${CMAKE_CURRENT_LIST_DIR}/signal_e2e.sh ${CMAKE_BINARY_DIR})
set_tests_properties(e2e_signal PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE SKIP_REGULAR_EXPRESSION "SKIP: "
    ENVIRONMENT "CMAKE=${CMAKE_COMMAND}")
