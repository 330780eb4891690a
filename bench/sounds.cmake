# The mixer with many sounds playing, and loading a long WAV file.
add_executable(sounds_bench sounds_bench.cpp)
target_link_libraries(sounds_bench PRIVATE korvane_engine_objects benchmark::benchmark)
