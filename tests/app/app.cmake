# The real program's command line, without a display.
add_test(NAME app_command_line COMMAND ${CMAKE_CURRENT_LIST_DIR}/command_line_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(app_command_line PROPERTIES TIMEOUT 120 SKIP_REGULAR_EXPRESSION "SKIP: ")
# The player on a private session bus (MPRIS), driven with playerctl and gdbus.
add_test(NAME app_mpris COMMAND ${CMAKE_CURRENT_LIST_DIR}/mpris_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(app_mpris PROPERTIES TIMEOUT 120 SKIP_REGULAR_EXPRESSION "SKIP: ")
