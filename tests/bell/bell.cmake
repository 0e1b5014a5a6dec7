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
