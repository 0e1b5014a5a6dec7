# The real program's command line, without a display. These tests run the real program, as the end-to-end tests do:
# alone.
add_test(NAME app_command_line COMMAND ${CMAKE_CURRENT_LIST_DIR}/command_line_test.sh ${CMAKE_BINARY_DIR})
# Under the sanitizers the program runs with libfaketime preloaded before their runtime, and loads whatever
# GStreamer and font plugins the machine has, whose leaks are not ours: leaks are the unit tests' to find.
set(whole_program_asan "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0")
set_tests_properties(app_command_line PROPERTIES TIMEOUT 120 RUN_SERIAL TRUE SKIP_REGULAR_EXPRESSION "SKIP: "
    ENVIRONMENT "${whole_program_asan}")
# The player on a private session bus (MPRIS), driven with playerctl and gdbus.
add_test(NAME app_mpris COMMAND ${CMAKE_CURRENT_LIST_DIR}/mpris_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(app_mpris PROPERTIES TIMEOUT 120 RUN_SERIAL TRUE SKIP_REGULAR_EXPRESSION "SKIP: "
    ENVIRONMENT "${whole_program_asan}")
# --check as a monitor sees it: a bell found by name, the exit code of a muted output on a holiday's eve.
add_test(NAME app_check COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(app_check PROPERTIES TIMEOUT 120 RUN_SERIAL TRUE SKIP_REGULAR_EXPRESSION "SKIP: "
    ENVIRONMENT "${whole_program_asan}")
# The sound server lost and back while the program runs: its warnings go by themselves.
add_test(NAME app_sound_output_recovery COMMAND ${CMAKE_CURRENT_LIST_DIR}/sound_output_recovery_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(app_sound_output_recovery PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE SKIP_REGULAR_EXPRESSION "SKIP: "
    ENVIRONMENT "${whole_program_asan}")
