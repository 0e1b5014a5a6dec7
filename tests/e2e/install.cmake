add_test(NAME e2e_install_first_start COMMAND ${CMAKE_CURRENT_LIST_DIR}/install_first_start_e2e.sh ${CMAKE_BINARY_DIR})
set_tests_properties(e2e_install_first_start PROPERTIES TIMEOUT 120)
