# A headless weston with and without XWayland. Serial: XWayland takes the first free X display number.
add_test(NAME e2e_wayland COMMAND ${CMAKE_CURRENT_LIST_DIR}/wayland_e2e.sh ${CMAKE_BINARY_DIR})
set_tests_properties(e2e_wayland PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE SKIP_REGULAR_EXPRESSION "SKIP: ")
