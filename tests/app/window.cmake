# The platform layer: drawing and text on the scripted platform, the PNG
# writer and reader, the zenity dialog with a stand-in zenity, and the SDL
# platform on SDL's dummy video driver.
add_executable(window_tests
  window_files.cpp
  window_screen.cpp
  window_sdl.cpp
)
target_link_libraries(window_tests PRIVATE korvane_core GTest::gtest_main)
gtest_discover_tests(window_tests)
