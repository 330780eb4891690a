# The platform layer: drawing and text on the scripted platform, the window's
# icon against the menu entry's (data/icons), the PNG writer and reader, the
# zenity dialog with a stand-in zenity, and the SDL platform on SDL's dummy
# video driver.
add_executable(window_tests
  window_files.cpp
  window_screen.cpp
  window_sdl.cpp
)
target_link_libraries(window_tests PRIVATE korvane_core GTest::gtest_main)
target_compile_definitions(window_tests PRIVATE KORVANE_ICON_DIR="${CMAKE_SOURCE_DIR}/data/icons")
gtest_discover_tests(window_tests)
