#!/bin/sh
# Generates a corpus of music with exactly known notes (MP3 + MIDI + CSV ground truth +
# manifest.csv) in the format of the public evaluation corpus.
#   scripts/make-devset.sh OUTDIR [--seed N] [--count N] [--train] [--jobs 1|2] [--keep-wav]
# Default: the dev set, 2 pieces per type, seed 1.  --train: the training corpus (other seeds,
# about 3.75 hours).  Needs fluidsynth, timidity, freepats, opl3-soundfont, csound-soundfont,
# fluid-soundfont-gm, lame and Debian's python3-numpy/scipy/soundfile/mido/aubio.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
[ $# -ge 1 ] || { echo "usage: $0 OUTDIR [--seed N] [--count N] [--train] [--jobs 1|2] [--keep-wav]" >&2; exit 2; }
for pkg in fluidsynth timidity freepats opl3-soundfont csound-soundfont fluid-soundfont-gm lame \
           python3-numpy python3-scipy python3-soundfile python3-mido python3-aubio; do
  dpkg -s "$pkg" >/dev/null 2>&1 || { echo "missing Debian package $pkg (apt-get install -y $pkg)" >&2; exit 2; }
done
# one thread per numeric library: the parallelism is the (at most two) rendering processes
export OMP_NUM_THREADS=1 OPENBLAS_NUM_THREADS=1 MKL_NUM_THREADS=1
PYTHONPATH="$here${PYTHONPATH:+:$PYTHONPATH}" exec /usr/bin/python3 -m devset.make_devset "$@"
