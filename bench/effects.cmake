# One call of the master callback on a 600-frame buffer, with the effect
# stages off, each alone, all on, and on the toMidi path.
add_executable(effects_bench effects_bench.cpp)
target_link_libraries(effects_bench PRIVATE korvane_core benchmark::benchmark)
