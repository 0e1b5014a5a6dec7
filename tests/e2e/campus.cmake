# Three copies of the program on one Mosquitto broker: the timetable sent, hostile files refused, the broker
# stopped and back, the main killed and its standby ringing. Real time and a private sound server: run alone.
add_test(NAME e2e_campus COMMAND ${CMAKE_CURRENT_LIST_DIR}/campus_e2e.sh ${CMAKE_BINARY_DIR})
set_tests_properties(e2e_campus PROPERTIES TIMEOUT 900 RUN_SERIAL TRUE SKIP_REGULAR_EXPRESSION "SKIP: ")
