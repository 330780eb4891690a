# The MP3 files that tests and benchmarks play, generated into the build tree
# by make_test_audio.sh (its header lists the files). Any test or benchmark
# folder may include this file; it defines, once:
#   KORVANE_TEST_AUDIO_DIR  the folder of the files
#   korvane_test_audio      target that makes the short set
#   korvane_bench_audio     target that makes music_180s_44100_stereo.mp3
if(NOT TARGET korvane_test_audio)
  set(KORVANE_TEST_AUDIO_DIR ${CMAKE_BINARY_DIR}/test-audio CACHE INTERNAL "generated MP3 files for tests")
  set(_script ${CMAKE_SOURCE_DIR}/tests/audio/make_test_audio.sh)
  set(_files tone_44100_stereo tone_48000_stereo tone_22050_stereo tone_11025_stereo tone_44100_mono
    truncated_44100_stereo damaged_44100_stereo tagged_44100_stereo not_mp3 empty
    free_44100_stereo layer2_44100_stereo layer1_48000_mono
    piano_a4 piano_a4_sharp30 triad_c4 tremolo_a3
    noise_44100_stereo burst_44100_stereo quiet_44100_stereo loud_44100_stereo steps_44100_stereo
    pause_44100_stereo)
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
endif()
