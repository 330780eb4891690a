# korvane_ini INDEX ENTRY...: a korvane.ini on standard output, with the
# playlist's current index, the window at (400, 300), every other setting 0
# and the entries as the playlist. Sourced by the real-window tests.
korvane_ini() {
  printf ' %s\r\n 400\r\n 300\r\n' "$1"
  shift
  i=4
  while [ $i -le 25 ]; do printf ' 0\r\n'; i=$((i + 1)); done
  for entry in "$@"; do printf '%s\r\n' "$entry"; done
  printf 'finlist\r\n'
}
