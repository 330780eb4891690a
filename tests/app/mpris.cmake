# The media bus's parts that need no bus: its text, and the command queue.
# The bus itself is tested end to end by mpris_xvfb.sh.
add_executable(mpris_tests
  mpris_text.cpp
  mpris_queue.cpp
)
target_link_libraries(mpris_tests PRIVATE korvane_core GTest::gtest_main)
gtest_discover_tests(mpris_tests)

# korvane on a private session bus under Xvfb, driven by playerctl and
# dbus-send.
add_test(NAME mpris_real_window
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/mpris_xvfb.sh $<TARGET_FILE:korvane>)
set_tests_properties(mpris_real_window PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
