# The application shell on the scripted platform and the recording MIDI
# system; the main panel is compared with a stored image.
include(${CMAKE_SOURCE_DIR}/tests/audio/audio.cmake)
add_executable(shell_tests
  shell_config.cpp
  shell_dialogs.cpp
  shell_faults.cpp
  shell_lifecycle.cpp
  shell_loop.cpp
  shell_midi.cpp
  shell_panel.cpp
)
target_link_libraries(shell_tests PRIVATE korvane_core GTest::gtest_main)
target_compile_definitions(shell_tests PRIVATE
  KORVANE_REFERENCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}/reference"
  KORVANE_ACTUAL_DIR="${CMAKE_CURRENT_BINARY_DIR}"
  KORVANE_TEST_AUDIO_DIR="${KORVANE_TEST_AUDIO_DIR}"
  KORVANE_TESTPLUG_DIR="${CMAKE_BINARY_DIR}/test-plugouts")
# The stalling test plug-out of the engine's tests.
add_dependencies(shell_tests korvane korvane_test_audio testplug_stall_plug-sdl)
gtest_discover_tests(shell_tests)

# The player in a real window under Xvfb, driven with xdotool.
add_test(NAME shell_real_window
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/shell_xvfb.sh $<TARGET_FILE:korvane>
    ${KORVANE_TEST_AUDIO_DIR}/tone_44100_stereo.mp3 ${CMAKE_SOURCE_DIR}/data/icons/korvane-64.png)
set_tests_properties(shell_real_window PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 90)
