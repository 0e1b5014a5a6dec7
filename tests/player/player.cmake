find_package(Qt6 REQUIRED COMPONENTS Core)

# Music lists, their editor and the player commands: plain C++ against the fake player and dialogs.
foreach(name music_list_test music_list_editor_test media_file_test)
    add_executable(player_${name} ${CMAKE_CURRENT_LIST_DIR}/${name}.cpp)
    target_link_libraries(player_${name} PRIVATE lingchao_player lingchao_testsupport GTest::gtest_main)
    add_test(NAME player_${name} COMMAND player_${name})
    set_tests_properties(player_${name} PROPERTIES TIMEOUT 120)
endforeach()

# Real playback through GStreamer into WAV files; needs no sound server. Its own main runs a Qt event loop.
add_executable(player_gst_player_test ${CMAKE_CURRENT_LIST_DIR}/gst_player_test.cpp)
target_link_libraries(player_gst_player_test PRIVATE lingchao_player lingchao_testsupport PkgConfig::GST Qt6::Core
    GTest::gtest)
add_test(NAME player_gst_player_test COMMAND player_gst_player_test)
set_tests_properties(player_gst_player_test PROPERTIES TIMEOUT 300
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;GST_DEBUG_NO_COLOR=1;LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/lsan.supp;ASAN_OPTIONS=fast_unwind_on_malloc=0")

# The same player when Qt runs without GLib's main loop: the bus is polled by a Qt timer instead.
add_test(NAME player_gst_player_polled_test
    COMMAND player_gst_player_test --gtest_filter=*List*:*Wav*:*Pause*:*Unplayable*/0)
set_tests_properties(player_gst_player_polled_test PROPERTIES TIMEOUT 300
    ENVIRONMENT "QT_NO_GLIB=1;QT_QPA_PLATFORM=offscreen;LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/lsan.supp;ASAN_OPTIONS=fast_unwind_on_malloc=0")

# The self-check's probe: does a bell file (or every entry of a music list) decode?
add_executable(player_media_probe_test ${CMAKE_CURRENT_LIST_DIR}/media_probe_test.cpp)
target_link_libraries(player_media_probe_test PRIVATE lingchao_player lingchao_testsupport PkgConfig::GST GTest::gtest)
add_test(NAME player_media_probe_test COMMAND player_media_probe_test)
set_tests_properties(player_media_probe_test PROPERTIES TIMEOUT 120
    ENVIRONMENT "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/lsan.supp;ASAN_OPTIONS=fast_unwind_on_malloc=0")

# The proof of a bell's sound (and the prepared next bell) through a private PulseAudio with a null sink.
add_executable(player_sound_proof_test ${CMAKE_CURRENT_LIST_DIR}/sound_proof_test.cpp)
target_link_libraries(player_sound_proof_test PRIVATE lingchao_player lingchao_testsupport PkgConfig::GST Qt6::Core
    GTest::gtest)
add_test(NAME player_sound_proof_test COMMAND player_sound_proof_test)
set_tests_properties(player_sound_proof_test PROPERTIES TIMEOUT 300
    ENVIRONMENT "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/lsan.supp;ASAN_OPTIONS=fast_unwind_on_malloc=0")
