#!/bin/sh
# Writes the small MP3 files that seed the MP3 fuzz targets (track_length,
# mp3_stream, converter) into OUTDIR: short tones in every MPEG version, a VBR
# file with its Xing frame, one behind an ID3v2 tag, and one with CRCs.
# sox in its repeatable mode and lame make the same bytes every time.
#
# Usage: tests/fuzz/make_mp3_seeds.sh OUTDIR
set -eu
out=$1
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# seed NAME RATE CHANNELS SECONDS LAME-OPTIONS...
seed() {
  name=$1 rate=$2 channels=$3 seconds=$4
  shift 4
  sox -R -q -n -r "$rate" -c "$channels" -b 16 "$work/$name.wav" synth "$seconds" sine 440 fade 0 "$seconds" 0.05 gain -3
  lame --quiet --noreplaygain -t "$@" "$work/$name.wav" "$out/$name.mp3"
}

seed cbr_44100_stereo 44100 2 0.1 -b 32
seed cbr_22050_mono 22050 1 0.1 -b 8 -m m
seed cbr_8000_mono 8000 1 0.1 -b 8 -m m
seed cbr_48000_crc 48000 2 0.05 -b 32 -p
seed tone_44100_note 44100 2 0.4 -b 32
# With the Xing frame lame writes for VBR files (-t above leaves it out).
sox -R -q -n -r 44100 -c 1 -b 16 "$work/vbr.wav" synth 0.1 sine 440 gain -3
lame --quiet --noreplaygain -V 9 -m m "$work/vbr.wav" "$out/vbr_xing.mp3"
# Behind a small ID3v2 tag.
lame --quiet --noreplaygain -t -b 8 -m m --id3v2-only --tt x "$work/vbr.wav" "$out/id3v2_tagged.mp3"
