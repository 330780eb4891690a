# COPY, MIX16 and SCALE16 against memcpy, each variant reached through the
# engine's objects.
add_executable(primitives_bench primitives_bench.cpp)
target_link_libraries(primitives_bench PRIVATE korvane_engine_objects benchmark::benchmark)
