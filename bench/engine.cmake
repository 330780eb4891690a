# The stream's decoding against bare libmad, and one fill call of the mixer,
# on a generated three-minute MP3.
include(${CMAKE_SOURCE_DIR}/tests/audio/audio.cmake)

add_executable(engine_bench engine_bench.cpp)
target_link_libraries(engine_bench PRIVATE korvane_engine_objects benchmark::benchmark)
target_compile_definitions(engine_bench PRIVATE KORVANE_TEST_AUDIO_DIR="${KORVANE_TEST_AUDIO_DIR}")
add_dependencies(engine_bench korvane_bench_audio)
