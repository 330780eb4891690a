#!/bin/sh
# Writes korvane's demo track: a short piece (about 20 s) of plucked melody
# over a bass line, synthesised with sox and encoded with lame. Our own
# music, made the same way on every machine.
# Usage: make-demo-track.sh OUT.mp3
set -eu
out=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# note NAME SECONDS FILE: one plucked tone with a short fade.
note() {
  sox -q -n -r 44100 -c 1 -b 16 "$3" synth "$2" pluck "$1" fade 0.005 "$2" 0.05 gain -6
}

# Melody: eight bars of eighth notes (0.3125 s at 96 bpm) in C major.
melody="E4 G4 C5 G4 E4 G4 C5 E5  F4 A4 C5 A4 F4 A4 C5 F5
        G4 B4 D5 B4 G4 B4 D5 G5  E4 G4 C5 G4 C5 E5 G5 C6
        A4 C5 E5 C5 A4 C5 E5 A5  F4 A4 C5 A4 F4 A4 D5 F5
        G4 B4 D5 F5 G5 F5 D5 B4  C5 E5 G5 E5 C5 G4 E4 C4"
bass="C2 F2 G2 C2 A1 F1 G1 C2"

i=0
for n in $melody; do
  note "$n" 0.3125 "$work/m$(printf %03d $i).wav"; i=$((i + 1))
done
sox -q "$work"/m*.wav "$work/melody.wav"

i=0
for n in $bass; do
  note "$n" 2.5 "$work/b$(printf %03d $i).wav"; i=$((i + 1))
done
sox -q "$work"/b*.wav "$work/bass.wav"

# Melody a little left, bass a little right, then a soft tail.
sox -q -M "$work/melody.wav" "$work/bass.wav" "$work/mix.wav" remix 1v0.8,2v0.3 1v0.3,2v0.8 \
  norm -3 pad 0 1
lame --quiet -b 128 "$work/mix.wav" "$out"
