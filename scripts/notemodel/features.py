"""Spectral feature files made by korvane-features, and the arithmetic on them.

A feature file is raw little-endian float32, frames x 327, row-major.  Frame k is
centred at sample k*432 of the decoded audio resampled to 44.1 kHz; column b is the
spectrum at MIDI pitch 20 + b/3, stored as ln(1 + 1e4 * amplitude) with amplitude
relative to the file's peak (0 = silence, about 9.2 = full scale).
"""
import os
import subprocess

import numpy as np

RATE = 44100
HOP = 432
FRAME_S = HOP / RATE            # 9.80 ms
BINS = 327
LOWEST_BIN_PITCH = 20.0
BINS_PER_SEMITONE = 3
AMPLITUDE_SCALE = 1e4


def frame_of(seconds):
    """Nearest frame index of a time (seconds, array or scalar) of the decoded audio."""
    return np.rint(np.asarray(seconds) / FRAME_S).astype(np.int64)


def read_features(path):
    """The frames x 327 array of a feature file; raises ValueError on a malformed file."""
    raw = np.fromfile(path, dtype='<f4')
    if raw.size == 0 or raw.size % BINS:
        raise ValueError(f'{path}: {raw.size} floats is not a positive multiple of {BINS}')
    features = raw.reshape(-1, BINS).astype(np.float32)
    if not np.isfinite(features).all() or features.min() < 0:
        raise ValueError(f'{path}: values must be finite and non-negative')
    return features


def spectral_flux(features):
    """Per frame, the sum over bins of the positive rise from the previous frame."""
    rise = np.diff(features, axis=0, prepend=features[:1])
    return np.maximum(rise, 0).sum(axis=1)


def shift_columns(features, bins):
    """Moves the spectrum up by `bins` columns (down when negative), zero-filled:
    a detune of bins/3 semitones that keeps the notes' labels."""
    if bins == 0:
        return features
    shifted = np.zeros_like(features)
    if bins > 0:
        shifted[..., bins:] = features[..., :-bins]
    else:
        shifted[..., :bins] = features[..., -bins:]
    return shifted


def apply_gain(features, gain):
    """The features of the same audio with every amplitude multiplied by `gain` (<= 1)."""
    return np.log1p(gain * np.expm1(features)).astype(np.float32)


def feature_path(feature_dir, piece_id):
    return os.path.join(feature_dir, piece_id + '.f32')


def compute_missing(corpus_dir, piece_ids, feature_dir, tool):
    """Runs `tool IN.mp3 OUT.f32` for each piece whose feature file is missing or older
    than its MP3, one piece at a time.  A failing run raises, and leaves no file behind
    that a later run would take for a good one."""
    os.makedirs(feature_dir, exist_ok=True)
    made = 0
    for piece_id in piece_ids:
        mp3 = os.path.join(corpus_dir, piece_id + '.mp3')
        out = feature_path(feature_dir, piece_id)
        if os.path.exists(out) and os.path.getmtime(out) >= os.path.getmtime(mp3):
            continue
        partial = out + '.partial'
        result = subprocess.run([tool, mp3, partial], capture_output=True, text=True)
        if result.returncode != 0 or not os.path.exists(partial):
            if os.path.exists(partial):
                os.remove(partial)
            raise RuntimeError(f'{tool} failed on {mp3} (exit {result.returncode}): {result.stderr.strip()}')
        try:
            read_features(partial)
        except ValueError:
            os.remove(partial)
            raise
        os.replace(partial, out)
        made += 1
    return made


def main():
    import argparse
    ap = argparse.ArgumentParser(description='Makes the missing feature files of a corpus with korvane-features.')
    ap.add_argument('corpus')
    ap.add_argument('feature_dir')
    ap.add_argument('tool', help='path of korvane-features')
    a = ap.parse_args()
    import csv
    with open(os.path.join(a.corpus, 'manifest.csv'), newline='') as f:
        ids = [row['id'] for row in csv.DictReader(f)]
    print(f'{a.feature_dir}: {compute_missing(a.corpus, ids, a.feature_dir, a.tool)} feature files made, '
          f'{len(ids)} pieces')


if __name__ == '__main__':
    main()
