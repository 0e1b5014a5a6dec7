# The bell on its own thread, against fakes of its clock, player, probe and inhibitor.
add_executable(bell_thread_test ${CMAKE_CURRENT_LIST_DIR}/bell_thread_test.cpp)
target_link_libraries(bell_thread_test PRIVATE lingchao_bell lingchao_testsupport lingchao_qt_gtest_main)
add_test(NAME bell_thread_test COMMAND bell_thread_test)
set_tests_properties(bell_thread_test PROPERTIES TIMEOUT 120 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

# Warnings that mend by themselves: the bell against fakes of its output, player and files.
add_executable(bell_warnings_test ${CMAKE_CURRENT_LIST_DIR}/bell_warnings_test.cpp)
target_link_libraries(bell_warnings_test PRIVATE lingchao_bell lingchao_testsupport lingchao_qt_gtest_main)
add_test(NAME bell_warnings_test COMMAND bell_warnings_test)
set_tests_properties(bell_warnings_test PROPERTIES TIMEOUT 180 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

# Drill and emergency signals: their steps, the held bells and the raised volume, against a fake player.
add_executable(bell_signal_runner_test ${CMAKE_CURRENT_LIST_DIR}/signal_runner_test.cpp)
target_link_libraries(bell_signal_runner_test PRIVATE lingchao_bell lingchao_testsupport lingchao_qt_gtest_main)
add_test(NAME bell_signal_runner_test COMMAND bell_signal_runner_test)
set_tests_properties(bell_signal_runner_test PROPERTIES TIMEOUT 120 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

# A bell started at its minute's instant by the wake, and the regular tick after it: the real timerfd, and the
# runtime against a fake wake and clock.
add_executable(bell_precise_start_test ${CMAKE_CURRENT_LIST_DIR}/precise_start_test.cpp)
target_link_libraries(bell_precise_start_test PRIVATE lingchao_bell lingchao_testsupport lingchao_qt_gtest_main)
add_test(NAME bell_precise_start_test COMMAND bell_precise_start_test)
set_tests_properties(bell_precise_start_test PROPERTIES TIMEOUT 120 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
