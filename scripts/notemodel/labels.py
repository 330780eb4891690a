"""Ground-truth notes, their alignment with the decoded audio, and frame labels.

The decoded MP3 starts later than the notes' clock by the codec delay (about 25 ms for
lame at 44.1 kHz, more at other rates), so each piece's delay is measured from the audio
itself before its notes become frame labels.
"""
import csv

import numpy as np

from features import FRAME_S, frame_of, spectral_flux

DRUM_CHANNEL = 9
LOWEST_PITCH = 21
PITCHES = 88
MAX_DELAY_MS = 120
FLUX_BASELINE_FRAMES = 15       # about 150 ms: what the flux of a steady sound looks like


def read_manifest(corpus_dir):
    """Rows of the corpus's manifest.csv as dicts (id, type, rate, ... and any extra columns)."""
    with open(f'{corpus_dir}/manifest.csv', newline='') as f:
        return list(csv.DictReader(f))


def read_notes(path):
    """Pitched notes of a ground-truth CSV as an array of (onset_s, offset_s, pitch), sorted by
    onset: drums and pitches outside the piano's 21..108 are left out."""
    rows = []
    with open(path, newline='') as f:
        for r in csv.DictReader(f):
            pitch = int(round(float(r['pitch'])))
            if int(r.get('channel') or 0) == DRUM_CHANNEL or not LOWEST_PITCH <= pitch < LOWEST_PITCH + PITCHES:
                continue
            rows.append((float(r['onset_s']), float(r['offset_s']), pitch))
    notes = np.array(rows, dtype=np.float64).reshape(-1, 3)
    return notes[np.argsort(notes[:, 0], kind='stable')]


def onset_strength(features):
    """Spectral flux above its local mean: peaks where notes start, near zero in steady sound."""
    flux = spectral_flux(features)
    kernel = np.ones(FLUX_BASELINE_FRAMES) / FLUX_BASELINE_FRAMES
    half = FLUX_BASELINE_FRAMES // 2
    baseline = np.convolve(np.pad(flux, (half, FLUX_BASELINE_FRAMES - 1 - half), mode='edge'), kernel, mode='valid')
    return np.maximum(flux - baseline, 0)


def estimate_delay_ms(features, onsets_s):
    """The delay d in 0..MAX_DELAY_MS ms (1 ms steps) that best lines up the onsets, shifted
    by d, with the onset strength of the audio; None when there are no onsets in the audio."""
    strength = onset_strength(features)
    onsets_s = np.asarray(onsets_s)
    onsets_s = onsets_s[onsets_s / FRAME_S < len(strength) - 1]
    if len(onsets_s) == 0:
        return None
    delays_ms = np.arange(MAX_DELAY_MS + 1)
    positions = (onsets_s[None, :] + delays_ms[:, None] / 1000) / FRAME_S
    lower = np.floor(positions).astype(np.int64)
    upper = np.minimum(lower + 1, len(strength) - 1)
    fraction = positions - lower
    aligned = strength[lower] * (1 - fraction) + strength[upper] * fraction
    return int(delays_ms[np.argmax(aligned.sum(axis=1))])


class FrameLabels:
    """Frame targets of one piece, frames x 88 (MIDI 21..108):
    onset: 1 at the frame nearest each note's start;
    onset_weight: 0 on the two frames beside an onset (the true start may lie on either side
        of the frame boundary, so neither answer is penalised), 1 elsewhere;
    sounding: 1 from a note's onset frame to its offset frame."""

    def __init__(self, notes, delay_s, frames):
        self.onset = np.zeros((frames, PITCHES), np.float32)
        self.onset_weight = np.ones((frames, PITCHES), np.float32)
        self.sounding = np.zeros((frames, PITCHES), np.float32)
        if len(notes) == 0:
            return
        starts = frame_of(notes[:, 0] + delay_s)
        ends = np.maximum(frame_of(notes[:, 1] + delay_s), starts)
        keys = notes[:, 2].astype(np.int64) - LOWEST_PITCH
        inside = starts < frames
        for start, end, key in zip(starts[inside], np.minimum(ends[inside], frames - 1), keys[inside]):
            self.sounding[start:end + 1, key] = 1
            self.onset_weight[max(start - 1, 0):start + 2, key] = 0
        self.onset[starts[inside], keys[inside]] = 1
        self.onset_weight[self.onset == 1] = 1
