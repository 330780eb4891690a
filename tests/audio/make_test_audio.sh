#!/bin/sh
# Writes the MP3 files the tests and benchmarks play, synthesised with sox (in
# its repeatable mode, so that even the dither is the same every time) and
# encoded with lame, the same on every machine.
#
# Usage: make_test_audio.sh OUTDIR         the short set below
#        make_test_audio.sh OUTDIR --long  only music_180s_44100_stereo.mp3,
#                                          three minutes for the benchmarks
#
# Short set (3 s of a 440 Hz / 660 Hz tone pair unless said otherwise):
#   tone_44100_stereo.mp3   MPEG-1 layer III, 1152-sample frames
#   tone_48000_stereo.mp3   MPEG-1, 48 kHz
#   tone_22050_stereo.mp3   MPEG-2, 576-sample frames
#   tone_11025_stereo.mp3   MPEG-2.5, 576-sample frames
#   tone_44100_mono.mp3     one channel (440 Hz)
#   truncated_44100_stereo.mp3  tone_44100_stereo cut inside a frame
#   damaged_44100_stereo.mp3    tone_44100_stereo with a run of 0xFF bytes and
#                               a piece of tone_22050_stereo spliced in
#   tagged_44100_stereo.mp3     tone_44100_stereo behind an ID3v2.4 tag whose
#                               one frame holds all of tone_22050_stereo
#   not_mp3.mp3             plain text
#   empty.mp3               0 bytes
#   free_44100_stereo.mp3   free format (no bit rate in the frame headers), by lame
#   layer2_44100_stereo.mp3 MPEG-1 layer II at 192 kbit/s, by twolame
#   layer1_48000_mono.mp3   MPEG-1 layer I, 2 s at 192 kbit/s, written here:
#                           every frame holds one subband at a constant level,
#                           a steady tone near 1.1 kHz
#   piano_a4.mp3            0.5 s of silence, then a struck 440 Hz tone (with
#                           weak 2nd and 3rd harmonics) fading out over 2.5 s,
#                           then 0.5 s of silence
#   piano_a4_sharp30.mp3    the same 30 cents sharp (447.69 Hz)
#   piano_a4_22050.mp3      piano_a4 as MPEG-2 at 22050 Hz (576-sample frames)
#   triad_c4.mp3            the same with C4, E4 and G4 struck together
#   tremolo_a3.mp3          0.5 s of silence, then 3 s of 220 Hz swelling and
#                           fading by 40 % five times a second, then 0.5 s of
#                           silence
# Plucked notes (sox's pluck), 44100 Hz stereo at 192 kbit/s:
#   chords_melody.mp3       8 s: a melody of half-second notes in the fifth
#                           octave over chords of two seconds, peaks at -3 dBFS
#   halves_12db.mp3         C5 to C6 in 0.3 s notes twice, peaks at -3 dBFS,
#                           the second time 12 dB quieter
# Signals for the effects, 44100 Hz stereo at 192 kbit/s:
#   noise_44100_stereo.mp3  4 s of white noise at -20 dB, channels independent
#   burst_44100_stereo.mp3  0.2 s of silence, 50 ms of white noise at -6 dB
#                           (the same on both channels), 1.2 s of silence
#   quiet_44100_stereo.mp3  5 s of the tone pair with peaks at -20 dBFS
#   loud_44100_stereo.mp3   5 s of 440 Hz with peaks at -0.1 dBFS
#   steps_44100_stereo.mp3  440 Hz: 2.5 s with peaks at -0.1 dBFS, 2.5 s at -6.1
#   pause_44100_stereo.mp3  440 Hz at -6 dBFS for 2.5 s, 2 s of silence, 2.5 s
set -eu
out=$1
long=${2:-}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# syncsafe N: N as the four 7-bit bytes of an ID3v2 size.
syncsafe() {
  for shift in 21 14 7 0; do
    # shellcheck disable=SC2059
    printf "\\$(printf %03o $(( ($1 >> shift) & 127 )))"
  done
}

# tone RATE CHANNELS BITRATE NAME
tone() {
  if [ "$2" = 1 ]; then
    sox -R -q -n -r "$1" -c 1 -b 16 "$work/$4.wav" synth 3 sine 440 gain -3
    mode="-m m"
  else
    sox -R -q -n -r "$1" -c 2 -b 16 "$work/$4.wav" synth 3 sine 440 sine 660 gain -3
    mode="-m s"
  fi
  case $1 in
    44100) khz=44.1 ;; 48000) khz=48 ;; 22050) khz=22.05 ;; 11025) khz=11.025 ;;
  esac
  # shellcheck disable=SC2086
  lame --quiet --cbr -b "$3" $mode --resample "$khz" "$work/$4.wav" "$work/$4.mp3"
  mv "$work/$4.mp3" "$out/$4.mp3"
}

# harmonic FREQ N GAIN NAME: the N-th harmonic of FREQ, struck and fading
# out over 2.5 s, mono.
harmonic() {
  f=$(awk "BEGIN { print $1 * $2 }")
  sox -R -q -n -r 44100 -c 1 -b 16 "$work/$4.wav" synth 2.5 sine "$f" fade l 0.005 2.5 2.45 vol "$3"
}

# piano NAME FREQ...: the notes struck together after 0.5 s of silence,
# with weak 2nd and 3rd harmonics (a tenth and a twentieth), their loudest
# moment at 0.69 of full scale together.
piano() {
  name=$1
  shift
  share=$(awk "BEGIN { print 1 / $# }")
  parts=
  for freq in "$@"; do
    harmonic "$freq" 1 0.6 "h1_$freq"
    harmonic "$freq" 2 0.06 "h2_$freq"
    harmonic "$freq" 3 0.03 "h3_$freq"
    for h in 1 2 3; do parts="$parts -v $share $work/h${h}_$freq.wav"; done
  done
  # shellcheck disable=SC2086
  sox -R -q -m $parts -c 2 "$work/$name.wav" pad 0.5 0.5
  lame --quiet --cbr -b 128 "$work/$name.wav" "$work/$name.mp3"
  mv "$work/$name.mp3" "$out/$name.mp3"
}

if [ "$long" = "--long" ]; then
  # Two sweeping tones over soft pink noise.
  sox -R -q -n -r 44100 -c 2 -b 16 "$work/music.wav" synth 180 sine 220-880 sine 330-1320 \
    synth 180 pinknoise amod 0.02 gain -9
  lame --quiet --cbr -b 128 "$work/music.wav" "$work/music.mp3"
  mv "$work/music.mp3" "$out/music_180s_44100_stereo.mp3"
  exit 0
fi

tone 44100 2 128 tone_44100_stereo
tone 48000 2 128 tone_48000_stereo
tone 22050 2 64 tone_22050_stereo
tone 11025 2 32 tone_11025_stereo
tone 44100 1 64 tone_44100_mono

head -c 20001 "$out/tone_44100_stereo.mp3" > "$out/truncated_44100_stereo.mp3"

{
  head -c 15000 "$out/tone_44100_stereo.mp3"
  head -c 3000 /dev/zero | tr '\000' '\377'
  tail -c +4000 "$out/tone_22050_stereo.mp3" | head -c 6000
  tail -c +24001 "$out/tone_44100_stereo.mp3"
} > "$work/damaged.mp3"
mv "$work/damaged.mp3" "$out/damaged_44100_stereo.mp3"

sox -R -q -n -r 44100 -c 2 -b 16 "$work/pair.wav" synth 3 sine 440 sine 660 gain -3
lame --quiet --freeformat -b 320 "$work/pair.wav" "$work/free.mp3"
mv "$work/free.mp3" "$out/free_44100_stereo.mp3"
twolame --quiet -b 192 "$work/pair.wav" "$work/layer2.mp3"
mv "$work/layer2.mp3" "$out/layer2_44100_stereo.mp3"

# Layer I frames of 192 bytes: the header (48 kHz, 192 kbit/s, mono, no
# check word), subband 1's allocation of 4 bits per sample, its scale factor
# (6 bits, index 6) and its 12 samples (code 1100), zeros to the end.
i=0
while [ $i -lt 250 ]; do
  printf '\377\377\144\300\003'
  head -c 15 /dev/zero
  printf '\033\063\063\063\063\063\060'
  head -c 165 /dev/zero
  i=$((i + 1))
done > "$work/layer1.mp3"
mv "$work/layer1.mp3" "$out/layer1_48000_mono.mp3"

# An ID3v2.4 tag with one private frame: owner "korvane", then the payload.
payload=$(wc -c < "$out/tone_22050_stereo.mp3")
frame=$((8 + payload))
{
  printf 'ID3\004\000\000'
  syncsafe $((10 + frame))
  printf 'PRIV'
  syncsafe $frame
  printf '\000\000korvane\000'
  cat "$out/tone_22050_stereo.mp3"
  cat "$out/tone_44100_stereo.mp3"
} > "$work/tagged.mp3"
mv "$work/tagged.mp3" "$out/tagged_44100_stereo.mp3"

# encode NAME: $work/NAME.wav becomes OUTDIR/NAME.mp3 at 192 kbit/s.
encode() {
  lame --quiet --cbr -b 192 "$work/$1.wav" "$work/$1.mp3"
  mv "$work/$1.mp3" "$out/$1.mp3"
}
# sine SECONDS DB FILE: 440 Hz on both channels with peaks at DB dBFS.
sine() {
  sox -q -R -n -r 44100 -c 2 -b 16 "$3" synth "$1" sine 440 norm "$2"
}

sox -q -R -n -r 44100 -c 2 -b 16 "$work/noise_44100_stereo.wav" synth 4 whitenoise gain -20
encode noise_44100_stereo
sox -q -R -n -r 44100 -c 2 -b 16 "$work/burst_44100_stereo.wav" \
  synth 0.05 whitenoise gain -6 remix 1 1 pad 0.2 1.2
encode burst_44100_stereo
sox -q -R -n -r 44100 -c 2 -b 16 "$work/quiet_44100_stereo.wav" synth 5 sine 440 sine 660 norm -20
encode quiet_44100_stereo
sine 5 -0.1 "$work/loud_44100_stereo.wav"
encode loud_44100_stereo
sine 2.5 -0.1 "$work/step1.wav"
sine 2.5 -6.1 "$work/step2.wav"
sox -q "$work/step1.wav" "$work/step2.wav" "$work/steps_44100_stereo.wav"
encode steps_44100_stereo
sine 2.5 -6 "$work/part.wav"
sox -q "$work/part.wav" "$work/part_then_silence.wav" pad 0 2
sox -q "$work/part_then_silence.wav" "$work/part.wav" "$work/pause_44100_stereo.wav"
encode pause_44100_stereo

i=0
while [ $i -lt 400 ]; do
  echo "This is a text file with a .mp3 name, line $i."
  i=$((i + 1))
done > "$out/not_mp3.mp3"

: > "$out/empty.mp3"

piano piano_a4 440
lame --quiet --cbr -b 64 --resample 22.05 "$work/piano_a4.wav" "$work/piano_a4_22050.mp3"
mv "$work/piano_a4_22050.mp3" "$out/piano_a4_22050.mp3"
piano piano_a4_sharp30 447.69
piano triad_c4 261.63 329.63 392

sox -R -q -n -r 44100 -c 2 -b 16 "$work/tremolo_a3.wav" synth 3 sine 220 tremolo 5 40 gain -6 pad 0.5 0.5
lame --quiet --cbr -b 128 "$work/tremolo_a3.wav" "$work/tremolo_a3.mp3"
mv "$work/tremolo_a3.mp3" "$out/tremolo_a3.mp3"

# plucked NAME SECONDS NOTE...: $work/NAME.wav, mono, the notes one after
# another, each plucked and held SECONDS; a chord is its notes joined by "+".
plucked() {
  name=$1
  seconds=$2
  shift 2
  parts=
  i=0
  for chord in "$@"; do
    tones=$(echo "$chord" | tr + ' ')
    generators=
    count=0
    for tone in $tones; do
      generators="$generators pluck $tone"
      count=$((count + 1))
    done
    # shellcheck disable=SC2086
    sox -R -q -n -r 44100 -c $count -b 16 "$work/${name}_all.wav" synth "$seconds" $generators \
      fade 0.005 "$seconds" 0.05
    sox -R -q "$work/${name}_all.wav" -c 1 "$work/${name}_$i.wav" remix -
    parts="$parts $work/${name}_$i.wav"
    i=$((i + 1))
  done
  # shellcheck disable=SC2086
  sox -R -q $parts "$work/$name.wav"
}

plucked melody 0.5 E5 D5 C5 D5 E5 E5 E5 D5 D5 D5 E5 G5 G5 E5 D5 C5
plucked chords 2 C3+E4+G4 F3+A4+C5 G3+B4+D5 C3+E4+G4
sox -R -q -m "$work/melody.wav" "$work/chords.wav" -c 2 "$work/chords_melody.wav" norm -3
encode chords_melody

plucked scale 0.3 C5 D5 E5 F5 G5 A5 B5 C6
sox -R -q "$work/scale.wav" -c 2 "$work/loud_half.wav" norm -3
sox -R -q "$work/loud_half.wav" "$work/quiet_half.wav" gain -12
sox -R -q "$work/loud_half.wav" "$work/quiet_half.wav" "$work/halves_12db.wav"
encode halves_12db
