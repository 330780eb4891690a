#!/usr/bin/python3
"""Onset F1 of the note model on evaluation corpora, per piece type and threshold.

usage: evaluate.py MODEL.pt CORPUS_DIR FEATURE_DIR [CORPUS_DIR FEATURE_DIR ...]
                   [--tool KORVANE_FEATURES] [--thresholds 0.3,0.4,...]

Notes are decoded frame by frame: an onset is a local maximum of the onset probability over
+-2 frames at or above the threshold, at the frame's time minus the piece's codec delay; it
lasts while the sounding probability stays above one half.  Scoring is mir_eval's onset
measure at 50 ms with pitch within 50 cents, drums left out, as in the corpus harness.
'F1 per-file d' removes each piece's delay measured against its own labels; 'F1 fixed d'
removes one delay per sample rate (the corpus median), as a converter that cannot see the
labels would.  Types starting with v_ are variants of other pieces and stay out of the mean.
With --tool, feature files missing from FEATURE_DIR are made first.
"""
import argparse
import collections
import warnings

import mir_eval
import numpy as np
import torch

from dataset import load_corpus
from export import load_model
from features import FRAME_S, compute_missing
from labels import LOWEST_PITCH, read_manifest
from model import NoteModel

PEAK_RADIUS = 2
SOUNDING_THRESHOLD = 0.5
TIME_BASE_S = 1.0               # keeps times shifted by a delay positive for mir_eval


def probabilities(model, features):
    """(onset, sounding) probabilities, frames x 88, of a whole piece."""
    with torch.no_grad():
        logits = model(torch.from_numpy(features)[None])[0]
    return torch.sigmoid(logits[NoteModel.ONSET]).numpy(), torch.sigmoid(logits[NoteModel.SOUNDING]).numpy()


def decode_notes(onset, sounding, threshold, delay_s):
    """Notes (onset_s, offset_s, pitch) from the frame probabilities: an onset at each frame
    whose probability reaches the threshold and is the largest within +-PEAK_RADIUS frames
    (the first of equal values wins)."""
    frames = len(onset)
    padded = np.pad(onset, ((PEAK_RADIUS, PEAK_RADIUS), (0, 0)), constant_values=-1)
    window = np.stack([padded[i:i + frames] for i in range(2 * PEAK_RADIUS + 1)])
    earlier, later = window[:PEAK_RADIUS].max(axis=0), window[PEAK_RADIUS + 1:].max(axis=0)
    peaks = (onset >= threshold) & (onset > earlier) & (onset >= later)
    notes = []
    for frame, key in zip(*np.nonzero(peaks)):
        end = frame + 1
        while end < frames and sounding[end, key] > SOUNDING_THRESHOLD:
            end += 1
        notes.append((frame * FRAME_S - delay_s, end * FRAME_S - delay_s, key + LOWEST_PITCH))
    return np.array(notes, dtype=np.float64).reshape(-1, 3)


def onset_scores(reference, estimate):
    """(precision, recall, F1) of onsets within 50 ms and pitch within 50 cents."""
    if len(reference) == 0 or len(estimate) == 0:
        return 0.0, 0.0, 0.0
    ref, est = reference.copy(), estimate.copy()
    for notes in (ref, est):
        notes[:, 1] = np.maximum(notes[:, 1], notes[:, 0] + 0.001)
    with warnings.catch_warnings():
        warnings.simplefilter('ignore')
        p, r, f, _ = mir_eval.transcription.precision_recall_f1_overlap(
            ref[:, :2] + TIME_BASE_S, mir_eval.util.midi_to_hz(ref[:, 2]),
            est[:, :2] + TIME_BASE_S, mir_eval.util.midi_to_hz(est[:, 2]),
            onset_tolerance=0.05, pitch_tolerance=50.0, offset_ratio=None)
    return p, r, f


def type_means(per_piece, kinds):
    """Mean per type, and the mean over the non-variant types' means."""
    by_type = collections.defaultdict(list)
    for value, kind in zip(per_piece, kinds):
        by_type[kind].append(value)
    means = {k: np.mean(v, axis=0) for k, v in by_type.items()}
    main = [m for k, m in means.items() if not k.startswith('v_')]
    return means, (np.mean(main, axis=0) if main else float('nan'))


class CorpusResult:
    def __init__(self, model, corpus_dir, feature_dir, thresholds):
        self.name = corpus_dir
        self.pieces = load_corpus(corpus_dir, feature_dir)
        self.kinds = [p.type for p in self.pieces]
        self.probabilities = [probabilities(model, p.features) for p in self.pieces]
        by_rate = collections.defaultdict(list)
        for p in self.pieces:
            if p.delay_ms is not None:
                by_rate[p.rate].append(p.delay_s)
        self.fixed_delay_s = {rate: float(np.median(d)) for rate, d in by_rate.items()}
        self.sweep = {t: type_means([self.f1(i, t) for i in range(len(self.pieces))], self.kinds)[1]
                      for t in thresholds}

    def f1(self, index, threshold, fixed=False):
        return self.scores(index, threshold, fixed)[2]

    def scores(self, index, threshold, fixed=False):
        piece = self.pieces[index]
        delay = self.fixed_delay_s.get(piece.rate, 0.0) if fixed else piece.delay_s
        return onset_scores(piece.notes, decode_notes(*self.probabilities[index], threshold, delay))

    def table(self, threshold):
        lines = [f'{self.name}: threshold {threshold:.2f}',
                 f'  {"type":<14}{"pieces":>7}{"P":>7}{"R":>7}{"F1 per-file d":>15}{"F1 fixed d":>12}']
        per_file = [self.scores(i, threshold) for i in range(len(self.pieces))]
        fixed = [self.scores(i, threshold, fixed=True) for i in range(len(self.pieces))]
        means, main = type_means(per_file, self.kinds)
        fixed_means, fixed_main = type_means(fixed, self.kinds)
        counts = collections.Counter(self.kinds)
        for kind in sorted(means, key=lambda k: (k.startswith('v_'), k)):
            p, r, f = means[kind]
            lines.append(f'  {kind:<14}{counts[kind]:>7}{p:>7.3f}{r:>7.3f}{f:>15.3f}{fixed_means[kind][2]:>12.3f}')
        lines.append(f'  {"mean (no v_)":<14}{"":>7}{main[0]:>7.3f}{main[1]:>7.3f}{main[2]:>15.3f}{fixed_main[2]:>12.3f}')
        lines.append('  fixed delay per rate: ' + ', '.join(f'{r} Hz {d * 1000:.0f} ms'
                                                         for r, d in sorted(self.fixed_delay_s.items())))
        return '\n'.join(lines)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument('model')
    ap.add_argument('corpora', nargs='+', help='CORPUS_DIR FEATURE_DIR pairs')
    ap.add_argument('--tool', help='korvane-features, to make missing feature files')
    ap.add_argument('--thresholds', default=','.join(f'{t:.2f}' for t in np.arange(0.2, 0.951, 0.05)))
    ap.add_argument('--threads', type=int, default=2)
    a = ap.parse_args()
    if len(a.corpora) % 2:
        ap.error('corpora come as CORPUS_DIR FEATURE_DIR pairs')
    torch.set_num_threads(a.threads)
    thresholds = [float(t) for t in a.thresholds.split(',')]
    model = load_model(a.model).eval()

    results = []
    for corpus_dir, feature_dir in zip(a.corpora[::2], a.corpora[1::2]):
        if a.tool:
            compute_missing(corpus_dir, [r['id'] for r in read_manifest(corpus_dir)], feature_dir, a.tool)
        results.append(CorpusResult(model, corpus_dir, feature_dir, thresholds))

    print('mean onset F1 (per-file d, no v_ types) by threshold:')
    print('  threshold ' + ''.join(f'{r.name[-24:]:>26}' for r in results))
    for t in thresholds:
        print(f'  {t:9.2f} ' + ''.join(f'{r.sweep[t]:>26.3f}' for r in results))
    chosen = max(thresholds, key=lambda t: results[0].sweep[t])
    print(f'best threshold on {results[0].name}: {chosen:.2f}')
    for r in results:
        own = max(thresholds, key=lambda t: r.sweep[t])
        print(r.table(chosen))
        if own != chosen:
            print(f'  (its own best threshold: {own:.2f}, mean F1 {r.sweep[own]:.3f})')


if __name__ == '__main__':
    main()
