# The engine's lifecycle, mixer and stream tests, with small plug-outs built
# for them into separate folders under the build tree.
include(${CMAKE_SOURCE_DIR}/tests/audio/audio.cmake)

set(KORVANE_TESTPLUG_DIR ${CMAKE_BINARY_DIR}/test-plugouts CACHE INTERNAL "test plug-outs, one folder each")
file(MAKE_DIRECTORY ${KORVANE_TESTPLUG_DIR}/empty)

# korvane_test_plugout(FOLDER FILE NAME [DEFINITIONS...]): test_plugout.cpp
# built as FOLDER/FILE.so, reporting NAME. Other test folders call it too.
set(korvane_test_plugouts)
function(korvane_test_plugout folder file name)
  set(target testplug_${folder}_${file})
  add_library(${target} MODULE ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/test_plugout.cpp)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${file}
    LIBRARY_OUTPUT_DIRECTORY ${KORVANE_TESTPLUG_DIR}/${folder}
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_compile_definitions(${target} PRIVATE TESTPLUG_NAME="${name}" ${ARGN})
  target_link_libraries(${target} PRIVATE korvane_plugout_output)
  set(korvane_test_plugouts ${korvane_test_plugouts} ${target} PARENT_SCOPE)
endfunction()

korvane_test_plugout(order plug-sdl first)
korvane_test_plugout(order plug-alsa second)
korvane_test_plugout(isany plug-sdl first TESTPLUG_REFUSE_ISANY)
korvane_test_plugout(isany plug-alsa second)
korvane_test_plugout(init plug-sdl first TESTPLUG_REFUSE_INIT)
korvane_test_plugout(init plug-alsa second)
korvane_test_plugout(incomplete plug-sdl first TESTPLUG_WITHOUT_EXIT)
korvane_test_plugout(incomplete plug-alsa second)
korvane_test_plugout(start plug-sdl first TESTPLUG_START_MIN_FRAMES=1024)
korvane_test_plugout(threaded plug-sdl first TESTPLUG_THREADED)
korvane_test_plugout(stopfail plug-sdl first TESTPLUG_THREADED TESTPLUG_REFUSE_FIRST_STOP)
korvane_test_plugout(stall plug-sdl first TESTPLUG_THREADED TESTPLUG_STALL_AFTER=20)

add_library(korvane_engine_test_support STATIC engine_test_support.cpp)
target_link_libraries(korvane_engine_test_support PUBLIC korvane_engine_objects GTest::gtest)
target_compile_definitions(korvane_engine_test_support PUBLIC
  KORVANE_TESTPLUG_DIR="${KORVANE_TESTPLUG_DIR}" KORVANE_TEST_AUDIO_DIR="${KORVANE_TEST_AUDIO_DIR}")
add_dependencies(korvane_engine_test_support korvane_test_audio ${korvane_test_plugouts})

add_executable(korvane_engine_tests engine_lifecycle.cpp engine_mixer.cpp engine_sounds.cpp engine_stream.cpp
  engine_stream_pause.cpp engine_waves.cpp)
target_link_libraries(korvane_engine_tests PRIVATE korvane_engine_test_support GTest::gtest_main)
gtest_discover_tests(korvane_engine_tests PROPERTIES TIMEOUT 120)

add_executable(korvane_engine_concurrency_tests engine_concurrency.cpp engine_sounds_concurrency.cpp)
target_link_libraries(korvane_engine_concurrency_tests PRIVATE korvane_engine_test_support GTest::gtest_main)
add_dependencies(korvane_engine_concurrency_tests plug_sdl plug_alsa)
gtest_discover_tests(korvane_engine_concurrency_tests PROPERTIES LABELS concurrency TIMEOUT 120)
