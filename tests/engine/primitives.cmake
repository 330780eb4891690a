# The sample primitives, linked from the engine's objects so that every
# variant can be reached, not only the one this processor selects.
add_executable(primitives_tests
  primitives_buffers.cpp
  primitives_cpu.cpp
  primitives_loops.cpp
  primitives_mp3.cpp
)
target_link_libraries(primitives_tests PRIVATE korvane_engine_objects GTest::gtest_main)
gtest_discover_tests(primitives_tests)
