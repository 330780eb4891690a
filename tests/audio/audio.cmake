# The MP3 files that tests and benchmarks play, generated into the build tree
# by make_test_audio.sh (its header lists the files). Any test or benchmark
# folder may include this file; it defines, once:
#   KORVANE_TEST_AUDIO_DIR  the folder of the files
#   korvane_test_audio      target that makes the short set
#   korvane_bench_audio     target that makes music_180s_44100_stereo.mp3
#   korvane_audio_test      function that makes a test program of them
if(NOT TARGET korvane_test_audio)
  set(KORVANE_TEST_AUDIO_DIR ${CMAKE_BINARY_DIR}/test-audio CACHE INTERNAL "generated MP3 files for tests")
  set(_script ${CMAKE_SOURCE_DIR}/tests/audio/make_test_audio.sh)
  set(_files tone_44100_stereo tone_48000_stereo tone_22050_stereo tone_11025_stereo tone_44100_mono
    truncated_44100_stereo damaged_44100_stereo tagged_44100_stereo not_mp3 empty
    free_44100_stereo layer2_44100_stereo layer1_48000_mono
    piano_a4 piano_a4_sharp30 piano_a4_22050 triad_c4 tremolo_a3
    noise_44100_stereo burst_44100_stereo quiet_44100_stereo loud_44100_stereo steps_44100_stereo
    pause_44100_stereo chords_melody halves_12db)
  list(TRANSFORM _files PREPEND ${KORVANE_TEST_AUDIO_DIR}/)
  list(TRANSFORM _files APPEND .mp3)
  add_custom_command(OUTPUT ${_files}
    COMMAND sh ${_script} ${KORVANE_TEST_AUDIO_DIR}
    DEPENDS ${_script}
    COMMENT "Generating test MP3 files"
    VERBATIM)
  add_custom_target(korvane_test_audio DEPENDS ${_files})

  set(_long ${KORVANE_TEST_AUDIO_DIR}/music_180s_44100_stereo.mp3)
  add_custom_command(OUTPUT ${_long}
    COMMAND sh ${_script} ${KORVANE_TEST_AUDIO_DIR} --long
    DEPENDS ${_script}
    COMMENT "Generating a three-minute MP3 for the benchmarks"
    VERBATIM)
  add_custom_target(korvane_bench_audio DEPENDS ${_long})

  # korvane_audio_test(TARGET [CONCURRENCY] SOURCES...): a test program on
  # korvane_core that plays the files. CONCURRENCY marks one that runs
  # against the SDL plug-out's real output thread: its tests carry the
  # label the thread-sanitizer build runs.
  function(korvane_audio_test target)
    cmake_parse_arguments(arg "CONCURRENCY" "" "" ${ARGN})
    add_executable(${target} ${arg_UNPARSED_ARGUMENTS})
    target_link_libraries(${target} PRIVATE korvane_core GTest::gtest_main)
    target_compile_definitions(${target} PRIVATE KORVANE_TEST_AUDIO_DIR="${KORVANE_TEST_AUDIO_DIR}")
    add_dependencies(${target} korvane_test_audio)
    if(arg_CONCURRENCY)
      add_dependencies(${target} plug_sdl)
      gtest_discover_tests(${target} PROPERTIES LABELS concurrency)
    else()
      gtest_discover_tests(${target})
    endif()
  endfunction()
endif()
