# A timetable from another computer rings its bell from the music folder (headless, sound into a file).
add_test(NAME e2e_found_by_name COMMAND ${CMAKE_CURRENT_LIST_DIR}/found_by_name_e2e.sh ${CMAKE_BINARY_DIR})
set_tests_properties(e2e_found_by_name PROPERTIES
    TIMEOUT 120
    RUN_SERIAL TRUE
    SKIP_REGULAR_EXPRESSION "SKIP: "
    ENVIRONMENT "CMAKE=${CMAKE_COMMAND}")
