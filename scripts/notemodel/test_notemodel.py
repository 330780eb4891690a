"""Tests of the note model's training side: run with
/usr/bin/python3 -m unittest discover -s scripts/notemodel"""
import os
import stat
import tempfile
import unittest

import numpy as np
import torch

import evaluate
import export
import features
import labels
from dataset import CropSampler, Piece
from model import HARMONIC_SHIFTS, NoteModel, harmonic_stack


class HarmonicStackAndModel(unittest.TestCase):
    def test_each_channel_reads_its_harmonic_column_or_zero(self):
        x = torch.rand(1, 4, features.BINS)
        stacked = harmonic_stack(x)
        self.assertEqual(HARMONIC_SHIFTS, (-84, -72, -57, -36, 0, 36, 57, 72, 84, 93, 101))
        self.assertEqual(tuple(stacked.shape), (1, 11, 4, 264))
        for c, shift in enumerate(HARMONIC_SHIFTS):
            for i in (0, 54, 55, 131, 224, 225, 263):
                column = 2 + i + shift
                expected = x[0, :, column] if 0 <= column < features.BINS else torch.zeros(4)
                self.assertTrue(torch.equal(stacked[0, c, :, i], expected), f'channel {c} bin {i}')

    def test_output_is_88_keys_and_sees_twelve_frames_each_way(self):
        torch.manual_seed(0)
        model = NoteModel()
        for frames in (1, 7, 300):
            self.assertEqual(tuple(model(torch.rand(2, frames, features.BINS)).shape), (2, 2, frames, 88))
        x = torch.rand(1, 40, features.BINS)
        changed = x.clone()
        changed[0, 20] += 1
        moved = (model(x) - model(changed)).abs().amax(dim=(0, 1, 3)) > 0
        self.assertEqual(torch.nonzero(moved).ravel().tolist(), list(range(8, 33)))


class WeightExport(unittest.TestCase):
    def test_literals_give_back_the_exact_float32_value(self):
        values = np.concatenate([np.random.default_rng(3).normal(0, 1, 500),
                                 [0.0, -0.0, 1.0, -2.5, 1e-40, -3.4e38, 0.1]]).astype(np.float32)
        for v in values:
            literal = export.hex_literal(v)
            self.assertTrue(literal.endswith('f') and literal.lstrip('-').startswith('0x'), literal)
            self.assertEqual(np.float32(float.fromhex(literal[:-1])), v, literal)
        self.assertEqual(export.hex_literal(0.1875), '0x1.8p-3f')
        for bad in (np.nan, np.inf):
            with self.assertRaises(ValueError):
                export.hex_literal(bad)

    def test_table_lists_every_parameter_in_layer_order(self):
        torch.manual_seed(1)
        model = NoteModel()
        text = export.weight_table(model)
        first, rest = text.split('\n', 1)
        self.assertTrue(first.startswith('// ') and 'do not edit' in first)
        body = rest[rest.index('{') + 1:rest.rindex('}')]
        literals = [s.strip() for s in body.split('\n', 1)[1].replace('\n', '').split(',') if s.strip()]
        parsed = np.array([float.fromhex(s[:-1]) for s in literals], np.float32)
        expected = np.concatenate([t.detach().numpy().ravel() for t in model.exported_tensors()])
        self.assertEqual(len(parsed), 5218)
        np.testing.assert_array_equal(parsed, expected)
        self.assertLess(len(text), 1 << 20)


class LabelsAndDelay(unittest.TestCase):
    def write_csv(self, rows):
        path = os.path.join(self.enterContext(tempfile.TemporaryDirectory()), 'p.csv')
        with open(path, 'w') as f:
            f.write('onset_s,offset_s,pitch,velocity,channel\n' + ''.join(f'{r}\n' for r in rows))
        return path

    def test_drums_and_keys_off_the_piano_are_left_out(self):
        notes = labels.read_notes(self.write_csv(['1.0,1.5,60,90,0', '0.5,0.7,36,100,9', '0.2,0.4,20,80,1',
                                                  '0.3,0.6,108,80,1', '0.1,0.2,109,80,0']))
        self.assertEqual(notes.tolist(), [[0.3, 0.6, 108], [1.0, 1.5, 60]])

    def test_frames_follow_the_delayed_notes(self):
        notes = np.array([[0.100, 0.200, 60], [0.300, 0.300, 21], [5.0, 6.0, 70]])
        frame = features.FRAME_S
        lab = labels.FrameLabels(notes, 0.025, 100)
        start = round(0.125 / frame)
        self.assertEqual(np.argwhere(lab.onset).tolist(), [[start, 39], [round(0.325 / frame), 0]])
        self.assertEqual(lab.onset_weight[start - 1:start + 2, 39].tolist(), [0, 1, 0])
        self.assertEqual(np.flatnonzero(lab.sounding[:, 39]).tolist(), list(range(start, round(0.225 / frame) + 1)))
        self.assertEqual(lab.sounding[:, 0].sum(), 1)              # a zero-length note still sounds for a frame

    def test_delay_is_found_from_the_spectral_rises(self):
        rng = np.random.default_rng(5)
        onsets = np.sort(rng.uniform(0.5, 29.0, 80))
        for delay_ms in (0, 25, 37, 61, 118):
            spectrum = np.full((3100, features.BINS), 0.5, np.float32) + rng.uniform(0, 0.05, (3100, features.BINS))
            for t in onsets:
                spectrum[features.frame_of(t + delay_ms / 1000):, rng.integers(0, 300, 6)] += 1.0
            self.assertLessEqual(abs(labels.estimate_delay_ms(spectrum, onsets) - delay_ms), 5, delay_ms)
        self.assertIsNone(labels.estimate_delay_ms(np.zeros((10, features.BINS), np.float32), [5.0]))


class FeatureFiles(unittest.TestCase):
    def test_shift_and_gain_behave_like_detuned_and_quieter_audio(self):
        x = np.arange(2 * features.BINS, dtype=np.float32).reshape(2, -1)
        self.assertEqual(features.shift_columns(x, 1)[0, :3].tolist(), [0, 0, 1])
        self.assertEqual(features.shift_columns(x, -1)[1, -2:].tolist(), [x[1, -1], 0])
        amplitude = np.array([[0.0, 1e-4, 0.5, 1.0]])
        gained = features.apply_gain(np.log1p(1e4 * amplitude), 0.1)
        np.testing.assert_allclose(gained, np.log1p(1e4 * 0.1 * amplitude), rtol=1e-5)

    def test_a_failing_or_malformed_extraction_stops_and_leaves_no_file(self):
        folder = self.enterContext(tempfile.TemporaryDirectory())
        open(os.path.join(folder, 'a.mp3'), 'w').close()
        for body in ('exit 3', 'printf abc > "$2"', 'head -c 1308 /dev/zero > "$2"'):
            tool = os.path.join(folder, 'tool.sh')
            with open(tool, 'w') as f:
                f.write(f'#!/bin/sh\n{body}\n')
            os.chmod(tool, stat.S_IRWXU)
            out = os.path.join(folder, 'features')
            if body.startswith('head'):                           # one good frame: accepted
                self.assertEqual(features.compute_missing(folder, ['a'], out, tool), 1)
                self.assertEqual(features.read_features(features.feature_path(out, 'a')).shape, (1, 327))
                continue
            with self.assertRaises((RuntimeError, ValueError)):
                features.compute_missing(folder, ['a'], out, tool)
            self.assertEqual(os.listdir(out), [])


class CropsAndDecoding(unittest.TestCase):
    def piece(self, frames, notes):
        rng = np.random.default_rng(2)
        return Piece('p', 't', 44100, rng.uniform(0, 9, (frames, features.BINS)).astype(np.float32), np.array(notes))

    def test_same_seed_same_batches_and_cut_edges_carry_no_loss(self):
        pieces = [self.piece(1000, [[0.5, 0.8, 60], [2.0, 2.5, 64]]), self.piece(150, [[0.5, 0.8, 60]])]
        a, b = CropSampler(pieces, seed=4).batch(8), CropSampler(pieces, seed=4).batch(8)
        for x, y in zip(a, b):
            self.assertTrue(torch.equal(x, y))
        feats, onset, onset_weight, sounding, sounding_weight = a
        self.assertEqual(feats.shape[2], features.BINS)
        self.assertEqual(onset.shape[2], 88)
        self.assertTrue(200 <= feats.shape[1] <= 400)
        with self.assertRaises(ValueError):                        # features shorter than the notes
            self.piece(50, [[2.0, 2.5, 64.0]])

    def test_onsets_are_local_maxima_over_two_frames(self):
        onset, sounding = np.zeros((40, 88), np.float32), np.zeros((40, 88), np.float32)
        onset[10, 39], onset[11, 39], onset[12, 39] = 0.9, 0.8, 0.85   # one onset: the largest within +-2 frames
        onset[20, 0], onset[21, 0] = 0.7, 0.7                          # a plateau gives one onset, its first frame
        onset[30, 87] = 0.4                                            # below the threshold
        sounding[11:15, 39] = 0.9
        notes = evaluate.decode_notes(onset, sounding, 0.5, 0.025)
        frame = features.FRAME_S
        np.testing.assert_allclose(notes, [[10 * frame - 0.025, 15 * frame - 0.025, 60],
                                           [20 * frame - 0.025, 21 * frame - 0.025, 21]])


if __name__ == '__main__':
    unittest.main()
