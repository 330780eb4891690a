"""Pieces of a corpus with their features and frame labels, and random training crops."""
import numpy as np
import torch

from features import FRAME_S, apply_gain, feature_path, read_features, shift_columns
from labels import FrameLabels, estimate_delay_ms, read_manifest, read_notes

# Notes may ring past the end of the decoded audio by a frame or so; a piece whose notes
# start later than this after the features end has a truncated feature file.
LATE_ONSET_TOLERANCE_S = 0.25
CONTEXT_FRAMES = 12             # how far the network looks back or ahead in time


class Piece:
    def __init__(self, piece_id, kind, rate, features, notes):
        last_onset = notes[:, 0].max() if len(notes) else 0.0
        if last_onset > len(features) * FRAME_S + LATE_ONSET_TOLERANCE_S:
            raise ValueError(f'{piece_id}: a note starts at {last_onset:.2f} s but the features end at '
                             f'{len(features) * FRAME_S:.2f} s')
        self.id, self.type, self.rate = piece_id, kind, rate
        self.features, self.notes = features, notes
        self.delay_ms = estimate_delay_ms(features, notes[:, 0])
        self.delay_s = (self.delay_ms or 0) / 1000
        self.labels = FrameLabels(notes, self.delay_s, len(features))


def load_corpus(corpus_dir, feature_dir, types=None):
    """Every piece of the corpus (or only those of the given types), with the ground truth
    shifted by each piece's measured delay."""
    pieces = []
    for row in read_manifest(corpus_dir):
        if types is not None and row['type'] not in types:
            continue
        features = read_features(feature_path(feature_dir, row['id']))
        notes = read_notes(f"{corpus_dir}/{row['id']}.csv")
        pieces.append(Piece(row['id'], row['type'], int(row['rate']), features, notes))
    return pieces


class CropSampler:
    """Batches of random crops from the pieces, each crop with a random detune of -1, 0 or +1
    bins and a random gain in 0.1..1, drawn by a seeded generator so a rerun sees the same data.
    Pieces are drawn in proportion to their length."""

    def __init__(self, pieces, seed, min_frames=200, max_frames=400):
        self.pieces = pieces
        lengths = np.array([len(p.features) for p in pieces], dtype=np.float64)
        self.piece_odds = lengths / lengths.sum()
        self.rng = np.random.default_rng(seed)
        self.min_frames, self.max_frames = min_frames, max_frames

    def batch(self, size):
        """(features [size, T, 327], onset, onset_weight, sounding, sounding_weight [size, T, 88])."""
        frames = int(self.rng.integers(self.min_frames, self.max_frames + 1))
        parts = [self._crop(self.pieces[i], frames) for i in self.rng.choice(len(self.pieces), size, p=self.piece_odds)]
        return tuple(torch.from_numpy(np.stack(column)) for column in zip(*parts))

    def _crop(self, piece, frames):
        total = len(piece.features)
        start = int(self.rng.integers(0, max(total - frames, 0) + 1))
        end = min(start + frames, total)
        features = np.zeros((frames, piece.features.shape[1]), np.float32)
        features[:end - start] = piece.features[start:end]
        features = shift_columns(features, int(self.rng.integers(-1, 2)))
        features = apply_gain(features, float(np.exp(self.rng.uniform(np.log(0.1), 0.0))))
        labels = piece.labels
        onset, onset_weight, sounding = (np.zeros((frames, labels.onset.shape[1]), np.float32) for _ in range(3))
        onset[:end - start] = labels.onset[start:end]
        onset_weight[:end - start] = labels.onset_weight[start:end]
        sounding[:end - start] = labels.sounding[start:end]
        # Inside a piece the network sees zeros where the crop cuts off real context, so
        # the frames next to a cut carry no loss; the piece's own start and end are kept.
        sounding_weight = np.ones_like(sounding)
        if start > 0:
            onset_weight[:CONTEXT_FRAMES] = 0
            sounding_weight[:CONTEXT_FRAMES] = 0
        if start + frames < total:
            onset_weight[frames - CONTEXT_FRAMES:] = 0
            sounding_weight[frames - CONTEXT_FRAMES:] = 0
        return features, onset, onset_weight, sounding, sounding_weight
