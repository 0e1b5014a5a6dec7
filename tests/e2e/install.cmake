add_test(NAME e2e_install_first_start COMMAND ${CMAKE_CURRENT_LIST_DIR}/install_first_start_e2e.sh ${CMAKE_BINARY_DIR})
# It starts the real program, which holds the single-instance guard: alone, as the other end-to-end tests run.
set_tests_properties(e2e_install_first_start PROPERTIES TIMEOUT 120 RUN_SERIAL TRUE
    ENVIRONMENT "CMAKE=${CMAKE_COMMAND}")
