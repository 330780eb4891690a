# The work of one toMidi frame: the levels of all 77 rows and the note
# decisions, against the plain one-row-at-a-time measurement; and the levels
# alone, four and eight rows abreast.
add_executable(tomidi_bench tomidi_bench.cpp)
target_link_libraries(tomidi_bench PRIVATE korvane_core benchmark::benchmark)
