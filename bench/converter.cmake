# korvane-tomidi on a generated three-minute MP3: one file against real time
# and bare libmad, and a batch on one and on two cores.
include(${CMAKE_SOURCE_DIR}/tests/audio/audio.cmake)

add_executable(converter_bench converter_bench.cpp)
target_link_libraries(converter_bench PRIVATE korvane_converter benchmark::benchmark PkgConfig::MAD)
target_compile_definitions(converter_bench PRIVATE KORVANE_TEST_AUDIO_DIR="${KORVANE_TEST_AUDIO_DIR}")
add_dependencies(converter_bench korvane_bench_audio)
