#!/bin/sh
# A long run of both programs on generated music, for memory growth, skipped
# tracks and stuck notes. Not part of the test suite: it takes real time.
#
#   scripts/soak.sh [MINUTES [BATCHES]]      default 10 minutes, 20 batches
#
# 1. korvane under a virtual X server with silent real-time audio plays a
#    50-track playlist of 5 to 10 s tracks in repeat mode 0 at speed 80 with
#    the equalizer, reverb mode 3 and automatic volume mode 6 on; halfway
#    through, M opens the toMidi panel; 15 s before the end a key leaves it,
#    then Escape ends the program. Every half second the script reads the
#    process's resident size and which MP3 file it has open (from /proc).
# 2. korvane-tomidi converts the same 50 files in one batch, BATCHES times;
#    GNU time gives each batch's wall time and largest resident size, and
#    every batch must write the same bytes.
#
# Prints the figures and writes the samples to OUTDIR (KORVANE_SOAK_OUT,
# default a new temporary folder): rss.log (seconds, VmRSS kB), tracks.log
# (seconds, playlist number, each time another file is opened), events.log
# (the keys pressed, with their times), batches.log. Needs a built korvane
# (KORVANE_BUILD, default build), xvfb-run, xdotool, sox, lame and GNU time.
# Exit status 1 when a track was skipped, a batch failed or differed, or the
# player did not end on Escape.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
build=$root/${KORVANE_BUILD:-build}
minutes=${1:-10}
batches=${2:-20}
seconds=$((minutes * 60))

if [ "${KORVANE_SOAK_INSIDE_X:-}" != 1 ]; then
  for tool in xvfb-run xdotool sox lame /usr/bin/time; do
    command -v "$tool" > /dev/null || { echo "soak: $tool is missing"; exit 1; }
  done
  out=${KORVANE_SOAK_OUT:-$(mktemp -d)}
  mkdir -p "$out/music"
  # 50 tracks: four plucked notes of 0.5 s each, repeated, 5 to 10 s long.
  echo "soak: making 50 tracks in $out/music"
  notes="220 247 262 294 330 349 392 440 494 523 587 659"
  i=1
  while [ $i -le 50 ]; do
    length=$((5 + i % 6))
    j=0
    parts=
    for note in $notes; do
      if [ $(((j + i) % 3)) = 0 ] && [ $j -lt 12 ]; then
        sox -R -q -n -r 44100 -c 2 -b 16 "$out/n$j.wav" synth 0.5 pluck "$note" gain -4
        parts="$parts $out/n$j.wav"
      fi
      j=$((j + 1))
    done
    # shellcheck disable=SC2086
    sox -q $parts "$out/phrase.wav"
    sox -q "$out/phrase.wav" "$out/track.wav" repeat 10 trim 0 "$length"
    name=$(printf 'track%02d.mp3' $i)
    lame --quiet --cbr -b 128 "$out/track.wav" "$out/music/$name"
    i=$((i + 1))
  done
  rm -f "$out"/*.wav

  # korvane.ini: auto-volume 6, reverb 3, equalizer on, speed 80, repeat 0.
  {
    for line in ' 0' ' 400' ' 300' ' 6' ' 3' 0.55 0.34 225 300 0.45 0.3 225 300 ' 1' \
      200 8000 2 1 1.2 1 80 1.7 ' 0' ' 0' ' 0'; do
      printf '%s\r\n' "$line"
    done
    for file in "$out"/music/*.mp3; do printf 'music/%s\r\n' "$(basename "$file")"; done
    printf 'finlist\r\n\r\n 0\r\n 0.2\r\n 0\r\n 1\r\n 1\r\n 4800\r\n 1\r\n 1\r\n'
  } > "$out/korvane.ini"

  echo "soak: korvane for $minutes minutes"
  status=0
  KORVANE_SOAK_INSIDE_X=1 KORVANE_SOAK_OUT=$out \
    xvfb-run -a -s '-screen 0 1024x768x24' sh "$0" "$minutes" "$batches" || status=$?

  echo "soak: korvane-tomidi, $batches batches of 50 files"
  : > "$out/batches.log"
  b=1
  while [ $b -le "$batches" ]; do
    rm -rf "$out/midi"
    /usr/bin/time -f '%e %M' -o "$out/time.txt" \
      "$build/bin/korvane-tomidi" -q -o "$out/midi" "$out/music" || status=1
    sum=$(cat "$out"/midi/*.mid | md5sum | cut -c1-12)
    count=$(find "$out/midi" -name '*.mid' | wc -l)
    echo "$b $(cat "$out/time.txt") $count $sum" >> "$out/batches.log"
    b=$((b + 1))
  done
  awk '{ if ($2 > wall) wall = $2; if (NR == 1) first = $3; if ($3 > peak) peak = $3; last = $3;
         sums[$5] = 1; if ($4 != 50) short = 1 }
       END { n = 0; for (s in sums) n++;
             printf "tomidi: %d batches, slowest %.1f s, largest resident size first %d kB, peak %d kB, last %d kB, %d distinct outputs%s\n",
                    NR, wall, first, peak, last, n, short ? ", A BATCH WROTE FEWER THAN 50 FILES" : "";
             exit (n == 1 && !short) ? 0 : 1 }' "$out/batches.log" || status=1
  echo "soak: samples in $out"
  exit $status
fi

# Inside the virtual X server.
out=$KORVANE_SOAK_OUT
cd "$out"
start=$(date +%s)
now() { echo $(($(date +%s) - start)); }
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null "$build/bin/korvane" > korvane.out 2>&1 &
pid=$!
trap 'kill $pid 2> /dev/null || true' EXIT
window=$(timeout 20 xdotool search --sync --name '^korvane$' | head -n 1) || { echo "soak: no window"; exit 1; }
press() {
  xdotool mousemove --window "$window" 170 85
  xdotool windowfocus --sync "$window" 2> /dev/null || true
  xdotool key "$1"
  echo "$(now) $1" >> events.log
}

: > rss.log
: > tracks.log
: > events.log
last=
pressedM=0
left=0
while [ "$(now)" -lt "$seconds" ]; do
  kill -0 $pid 2> /dev/null || { echo "soak: korvane ended early"; exit 1; }
  echo "$(now) $(awk '/^VmRSS/ { print $2 }' /proc/$pid/status)" >> rss.log
  track=$(find /proc/$pid/fd -type l -printf '%l\n' 2> /dev/null | sed -n 's/.*track\([0-9][0-9]\)\.mp3$/\1/p' | head -n 1)
  if [ -n "$track" ] && [ "$track" != "$last" ]; then
    echo "$(now) $track" >> tracks.log
    last=$track
  fi
  if [ $pressedM = 0 ] && [ "$(now)" -ge $((seconds / 2)) ]; then
    press m
    pressedM=1
  fi
  if [ $left = 0 ] && [ "$(now)" -ge $((seconds - 15)) ]; then
    press z  # no key of the toMidi panel: it leaves the panel
    left=1
  fi
  sleep 0.5
done
hwm=$(awk '/^VmHWM/ { print $2 }' /proc/$pid/status)
press Escape
ended=0
for _ in $(seq 1 50); do
  kill -0 $pid 2> /dev/null || { ended=1; break; }
  sleep 0.1
done
echo "$(now) ended=$ended" >> events.log

status=0
[ $ended = 1 ] || { echo "soak: korvane did not end on Escape"; status=1; }
awk -v hwm="$hwm" 'NR == 1 { first = $2 } $1 >= 60 && !minute { minute = $2 } { if ($2 > peak) peak = $2; last = $2 }
     END { printf "korvane: resident size %d kB at the start, %d kB after a minute, peak %d kB (VmHWM %d kB), last %d kB\n",
                  first, minute, peak, hwm, last }' rss.log
# Each newly opened file must be the one after the last, wrapping at 50.
awk 'NR > 1 { expected = prev % 50 + 1; if ($2 + 0 != expected) { printf "soak: skipped from track %d to %d at %d s\n", prev, $2, $1; bad = 1 } }
     { prev = $2 + 0; n++ }
     END { printf "korvane: %d tracks started in order%s\n", n, bad ? ", WITH SKIPS" : ""; exit bad }' tracks.log || status=1
exit $status
