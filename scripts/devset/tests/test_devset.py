"""Tests of the corpus generator.  Run from scripts/:
    /usr/bin/python3 -m unittest discover -s devset/tests -t .
"""
import os
import random
import re
import subprocess
import tempfile
import unittest

import mido
import numpy as np
import soundfile as sf

from devset import (alignment, classics, compositions, encoding, families, make_devset, midifile, rendering,
                    synth)
from devset.theory import Control, Note, Piece, clip_piece

T = midifile.tick


def ticks(on, off, pitch, ch=0, vel=90):
    return Note(T(on), T(off), pitch, vel, ch)


class GroundTruthFollowsWhatSounds(unittest.TestCase):
    def test_key_released_under_pedal_sounds_until_pedal_release(self):
        notes = [ticks(0.0, 0.5, 60), ticks(0.2, 2.0, 64)]
        pedal = [Control(0.1, 0, 'cc', 64, 127), Control(1.0, 0, 'cc', 64, 0)]
        truth = midifile.sounding(notes, pedal)
        self.assertEqual(truth[0].off, T(1.0))          # extended to the pedal release
        self.assertEqual(truth[1].off, T(2.0))          # released after the pedal: unchanged

    def test_restruck_key_under_pedal_ends_the_earlier_note(self):
        notes = [ticks(0.0, 0.3, 60), ticks(0.6, 0.8, 60)]
        truth = midifile.sounding(notes, [Control(0.0, 0, 'cc', 64, 127), Control(2.0, 0, 'cc', 64, 0)])
        self.assertEqual([(n.on, n.off) for n in truth], [(T(0.0), T(0.6)), (T(0.6), T(2.0))])

    def test_pedal_on_another_channel_changes_nothing(self):
        notes = [ticks(0.0, 0.3, 60, ch=1)]
        truth = midifile.sounding(notes, [Control(0.0, 0, 'cc', 64, 127), Control(2.0, 0, 'cc', 64, 0)])
        self.assertEqual(truth[0].off, T(0.3))

    def test_pedal_held_to_the_end_extends_to_the_last_release(self):
        notes = [ticks(0.0, 0.3, 60), ticks(0.5, 3.0, 48)]
        truth = midifile.sounding(notes, [Control(0.1, 0, 'cc', 64, 100)])
        self.assertEqual(truth[0].off, T(3.0))

    def test_tidy_resolves_same_pitch_overlaps_and_drops_blips(self):
        raw = [Note(0.0, 1.0, 60, 80, 0), Note(0.5, 1.5, 60, 80, 0), Note(2.0, 2.002, 62, 80, 0),
               Note(3.0, 3.2, 64, 80, 0), Note(3.0, 3.5, 64, 90, 0), Note(0.5, 1.5, 60, 80, 1)]
        got = [(n.on, n.off, n.pitch, n.channel) for n in midifile.tidy(raw)]
        self.assertEqual(got, [(0, T(0.5), 60, 0), (T(0.5), T(1.5), 60, 0), (T(0.5), T(1.5), 60, 1),
                               (T(3.0), T(3.5), 64, 0)])


class Harmony(unittest.TestCase):
    def test_minor_dominant_has_a_leading_tone(self):
        from devset.theory import MINOR, Key
        self.assertEqual(Key(9, MINOR).chord(4), [4, 8, 11])      # E G# B in A minor
        self.assertEqual(Key(9, MINOR).chord(3), [2, 5, 9])       # D F A untouched

    def test_harmonisation_holds_the_melody_note_at_each_chord_start(self):
        for tune in (classics.MINUET_G, classics.EMPEROR, classics.GREENSLEEVES):
            plan = classics.harmonise(tune, tune.key, 0.0, 1.0)
            pos = 0.0
            for pitch, beats in tune.melody:
                chord = [c for c in plan if abs(c[0] - pos) < 1e-9]
                if pitch is not None and chord and not abs(pos - plan[-1][0]) < 1e-9:
                    self.assertIn(pitch % 12, chord[0][2], f'{tune.title} at beat {pos}')
                pos += beats
            self.assertEqual(plan[-1][3], 0)          # ends on the tonic

    def test_clipping_releases_notes_and_rests_the_pitch_wheel(self):
        piece = Piece([Note(0.0, 5.0, 60, 90, 0), Note(4.0, 5.0, 62, 90, 0)], {0: 40},
                      [Control(1.0, 0, 'bend', 300), Control(4.5, 0, 'bend', -300)])
        cut = clip_piece(piece, 3.0)
        self.assertEqual(cut.notes, [Note(0.0, 3.0, 60, 90, 0)])
        self.assertEqual(cut.controls[-1], Control(3.0, 0, 'bend', 0))
        self.assertEqual(len(cut.controls), 2)


class MidiFileMatchesCsv(unittest.TestCase):
    def read_notes(self, path):
        mid, now, held, out = mido.MidiFile(path), 0, {}, []
        for msg in mid.tracks[0]:
            now += msg.time
            if msg.type == 'note_on' and msg.velocity:
                held[(msg.channel, msg.note)] = now
            elif msg.type in ('note_on', 'note_off'):
                out.append((held.pop((msg.channel, msg.note)), now, msg.note, msg.channel))
        return sorted(out)

    def test_every_note_round_trips_at_its_tick(self):
        rng = random.Random(3)
        piece = compositions.band(rng, 12.0)
        notes = midifile.tidy(piece.notes)
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, 'x.mid')
            end = midifile.write_midi(path, notes, piece.programs, piece.controls, 20)
            back = self.read_notes(path)
        want = sorted((n.on, n.off, n.pitch, n.channel) for n in notes)
        self.assertEqual(back, want)
        self.assertAlmostEqual(end, midifile.seconds(max(n.off for n in notes)) + midifile.RELEASE_TAIL_S, 3)

    def test_detune_is_added_to_vibrato_bends_and_clamped(self):
        notes = [ticks(0.0, 1.0, 60)]
        controls = [Control(0.5, 0, 'bend', 8000), Control(0.6, 0, 'bend', -100)]
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, 'x.mid')
            midifile.write_midi(path, notes, {0: 40}, controls, 40)
            bends = [m.pitch for m in mido.MidiFile(path) if m.type == 'pitchwheel']
        base = midifile.bend_value(40)
        self.assertEqual(bends, [base, 8191, base - 100])


class CompositionsAreMusicalAndReproducible(unittest.TestCase):
    def test_each_type_stays_in_its_registers_and_its_length(self):
        lows, highs = {}, {}
        for type_, gen in compositions.GENERATORS.items():
            for seed in range(6):
                piece = clip_piece(gen(random.Random(f'test/{type_}/{seed}'), 25.0), 25.0)
                pitched = [n for n in piece.notes if n.channel != 9]
                self.assertTrue(pitched, type_)
                self.assertTrue(all(0 < n.on < n.off <= 25.0 for n in piece.notes), type_)
                lows[type_] = min(lows.get(type_, 127), min(n.pitch for n in pitched))
                highs[type_] = max(highs.get(type_, 0), max(n.pitch for n in pitched))
        self.assertLessEqual(lows['strings'], 30)
        self.assertGreaterEqual(highs['strings'], 96)
        self.assertLessEqual(highs['strings'], 100)
        self.assertLessEqual(lows['organ'], 26)
        self.assertLessEqual(lows['piano'], 26)
        self.assertGreaterEqual(lows['band'], 28)
        self.assertLessEqual(lows['brass'], 30)

    def test_folk_has_quick_repeated_notes(self):
        found = False
        for seed in range(10):
            notes = sorted(n for n in compositions.folk(random.Random(f'folk/{seed}'), 30.0).notes if n.channel == 0)
            found |= any(a.pitch == b.pitch == c.pitch and b.on - a.on < 0.17 and c.on - b.on < 0.17
                         for a, b, c in zip(notes, notes[1:], notes[2:]))
        self.assertTrue(found)

    def test_strings_have_vibrato_and_legato(self):
        piece = compositions.strings(random.Random('legato'), 30.0)
        self.assertTrue(any(c.kind == 'bend' or (c.kind == 'cc' and c.a == 1) for c in piece.controls))
        top = sorted(n for n in piece.notes if n.channel == 0)
        gaps = [b.on - a.off for a, b in zip(top, top[1:])]
        # the bow never stops between notes; a gap is a written rest of at least a quarter beat
        self.assertTrue(all(g <= 1e-9 or g >= 0.1 for g in gaps), gaps)
        self.assertGreater(np.mean([g <= 1e-9 for g in gaps]), 0.8)

    def test_same_seed_same_files_and_splits_never_share_a_seed(self):
        dev, train = make_devset.plan(1, 3, False), make_devset.plan(1, 3, True)
        self.assertFalse({j['rng_key'] for j in dev} & {j['rng_key'] for j in train})
        a, _ = make_devset.compose(dev[4])
        b, _ = make_devset.compose(dev[4])
        self.assertEqual(a.notes, b.notes)
        self.assertEqual(a.controls, b.controls)

    def test_every_type_is_rendered_by_several_sources(self):
        jobs = make_devset.plan(1, 2, False)
        for type_ in compositions.TYPES:
            sources = {j['source'] for j in jobs if j['type'] == type_}
            self.assertEqual(len(sources), 1 if type_ == 'synth' else 2, type_)
        self.assertEqual({j['source'] for j in jobs}, set(rendering.SOURCES))


class WrittenDownTunes(unittest.TestCase):
    TUNES = [classics.MINUET_G, classics.EMPEROR, classics.ODE_TO_JOY, classics.WASHERWOMAN,
             classics.GREENSLEEVES, classics.SWALLOWTAIL]

    def test_every_bar_has_the_right_number_of_beats(self):
        with open(classics.__file__) as f:
            src = f.read()
        for name in ('MINUET_G', 'EMPEROR', 'ODE_TO_JOY', 'WASHERWOMAN', 'GREENSLEEVES', 'SWALLOWTAIL'):
            tune = getattr(classics, name)
            body = re.search(name + r" = Tune\([^']*'[^']*',[^']*'''(.*?)'''", src, re.S)[1]
            for bar in body.split('|'):
                if bar.strip():
                    self.assertEqual(sum(b for _, b in classics.parse(bar)), tune.bar_beats, f'{name}: {bar}')

    def test_dev_and_training_sets_use_different_tunes(self):
        self.assertFalse({id(t) for t in classics.DEV_TUNES.values()} & {id(t) for t in classics.TRAIN_TUNES.values()})

    def test_parse_reads_accidentals_octaves_and_rejects_garbage(self):
        self.assertEqual(classics.parse('C#5:0.5 Bb3:1 r:2'), [(73, 0.5), (58, 1.0), (None, 2.0)])
        with self.assertRaises(ValueError):
            classics.parse('H4:1')

    def test_arrangements_fit_their_length_and_the_family(self):
        for split in (classics.DEV_TUNES, classics.TRAIN_TUNES):
            for type_, tune in split.items():
                piece = tune and classics.arrange(tune, type_, random.Random(type_), 28.0, split is classics.TRAIN_TUNES)
                self.assertLessEqual(piece.end, 28.0)
                self.assertGreater(piece.end, 15.0)
                self.assertEqual(piece.title, tune.title)


class OurSynthesizer(unittest.TestCase):
    SR = 44100

    def f0_of(self, x):
        magnitude = np.abs(np.fft.rfft(x * np.hanning(len(x)), 1 << 20))
        k = np.argmax(magnitude[: int(2000 * (1 << 20) / self.SR)])
        return k * self.SR / (1 << 20)

    def test_every_model_plays_in_tune_including_detune(self):
        for program in (0, 12, 19, 25, 33, 40, 56, 71, 81, 90):
            notes = [Note(T(0.1), T(1.1), 57, 100, 0)]
            x = synth.render(notes, {0: program}, {}, 30, self.SR, midifile.SECONDS_PER_TICK, 1.5, 1)
            seg = x[int(0.15 * self.SR):int(0.6 * self.SR), 0] + x[int(0.15 * self.SR):int(0.6 * self.SR), 1]
            f = self.f0_of(seg)
            want = 220 * 2 ** (0.3 / 12)
            partials = [abs(1200 * np.log2(f / (want * k))) for k in (0.5, 1, 2, 3)]
            self.assertLess(min(partials), 15, f'program {program}: peak at {f:.1f} Hz, want {want:.1f}')

    def test_plucked_strings_are_in_tune_across_the_neck(self):
        for pitch in (40, 64, 88):
            x = synth.karplus_strong(synth.freq(pitch), self.SR, self.SR, 0.9, np.random.default_rng(pitch))
            want, peak = synth.freq(pitch), self.f0_of(x[2000:30000])
            harmonic = max(1, round(peak / want))          # low strings: a harmonic may be strongest
            self.assertLess(abs(1200 * np.log2(peak / (harmonic * want))), 8, pitch)

    def test_sound_starts_at_the_onset_sample(self):
        for program in (0, 25, 48):
            x = synth.render([Note(T(0.25), T(0.5), 60, 100, 0)], {0: program}, {}, 0, self.SR,
                             midifile.SECONDS_PER_TICK, 1.0, 2)
            first = np.argmax(np.abs(x).max(axis=1) > 1e-6)
            self.assertLess(abs(first - 0.25 * self.SR), 3, program)


    def test_legato_line_changes_pitch_without_a_dip_and_in_tune(self):
        spec = {'partials': 6, 'slope': 1.0, 'odd': False, 'attack': 0.01, 'decay': 0.0, 'legato': True}
        notes = [Note(T(0.2 + 0.3 * i), T(0.5 + 0.3 * i), p, 100, 0) for i, p in enumerate((60, 62, 64, 65))]
        x = synth.render(notes, {0: 80}, {}, 0, self.SR, midifile.SECONDS_PER_TICK, 1.8, 3, {0: spec})[:, 0]
        hop = int(0.005 * self.SR)
        rms = np.sqrt([np.mean(x[i:i + hop] ** 2) for i in range(int(0.25 * self.SR), int(1.35 * self.SR), hop)])
        self.assertGreater(rms.min(), 0.6 * np.median(rms))          # no gap where the pitch steps
        for i, p in enumerate((60, 62, 64, 65)):
            seg = x[int((0.25 + 0.3 * i) * self.SR):int((0.45 + 0.3 * i) * self.SR)]
            self.assertLess(abs(1200 * np.log2(self.f0_of(seg) / synth.freq(p))), 10, p)

    def test_plain_tones_stay_on_the_keyboard_and_legato_notes_join(self):
        for k in range(6):
            piece = compositions.GENERATORS['tones'](random.Random(f'tones/{k}'), 50)
            self.assertTrue(all(21 <= n.pitch <= 108 for n in piece.notes))
            self.assertNotIn(9, piece.timbres)                       # never the drum channel
            for ch, spec in piece.timbres.items():
                if spec['legato']:
                    line = sorted((n for n in piece.notes if n.channel == ch), key=lambda n: n.on)
                    self.assertTrue(all(abs(a.off - b.on) < 1e-9 for a, b in zip(line, line[1:])))


class LevelsRatesAndEncoding(unittest.TestCase):
    def test_resampling_keeps_a_click_in_place_and_the_peak_is_set(self):
        x = np.zeros((44100, 2))
        x[22050] = 1.0
        for rate in (22050, 48000):
            for channels in (1, 2):
                y = encoding.prepare(x, 44100, rate, channels, -6.0)
                self.assertEqual(y.shape[1], channels)
                self.assertAlmostEqual(np.abs(y).max(), 10 ** (-6 / 20), 6)
                self.assertLess(abs(np.argmax(np.abs(y[:, 0])) / rate - 0.5), 1.5 / rate)

    def test_silence_is_an_error_not_a_scaled_nan(self):
        with self.assertRaises(ValueError):
            encoding.prepare(np.zeros((100, 2)), 44100, 44100, 2, -3)

    def test_mpeg2_rates_are_capped_and_the_output_rate_is_forced(self):
        self.assertEqual(encoding.lame_options('cbr320', 22050, 1), ['-b', '160', '--resample', '22.05', '-m', 'm'])
        self.assertIn('48', encoding.lame_options('vbr-V5', 48000, 2))

    def test_mp3_has_the_rate_and_channels_asked_for(self):
        rng = np.random.default_rng(0)
        with tempfile.TemporaryDirectory() as tmp:
            for rate, channels, enc in ((22050, 1, 'cbr320'), (48000, 2, 'vbr-V5')):
                x = encoding.prepare(rng.standard_normal((rate, 2)) * 0.1, rate, rate, channels, -3)
                path = os.path.join(tmp, 'x.mp3')
                encoding.write_mp3(x, rate, path, enc)
                info = sf.info(path)
                self.assertEqual((info.samplerate, info.channels), (rate, channels))


class RenderersLineUpWithTheGroundTruth(unittest.TestCase):
    def test_lag_estimate_finds_a_known_delay(self):
        sr, onsets = 44100, np.arange(0.5, 9.5, 0.37)
        x = np.zeros(10 * sr)
        for t in onsets + 0.03:
            i = int(t * sr)
            x[i:i + 2000] += np.sin(2 * np.pi * 880 * np.arange(2000) / sr) * np.exp(-np.arange(2000) / 400)
        lag, agree = alignment.onset_lag(x, sr, onsets)
        self.assertLess(abs(lag - 0.03), 0.006)
        self.assertGreater(agree, 0.9)

    def test_every_source_starts_the_audio_at_midi_time_zero(self):
        for source, (lag, agree) in alignment.probe().items():
            self.assertLess(abs(lag), 0.015, source)
            self.assertGreater(agree, 0.8, source)

    def test_freepats_rendering_refuses_missing_drums_and_remaps_programs(self):
        with self.assertRaises(rendering.RenderError):
            rendering.freepats_compatible([Note(0, 10, 31, 90, 9)], {0: 0})
        self.assertEqual(rendering.freepats_compatible([], {0: 41, 1: 0}), {0: 40, 1: 0})
        self.assertFalse(set(families.FREEPATS_MISSING.values()) & set(families.FREEPATS_MISSING))

    def test_timidity_refuses_a_program_freepats_lacks(self):
        with tempfile.TemporaryDirectory() as tmp:
            mid = os.path.join(tmp, 'x.mid')
            midifile.write_midi(mid, midifile.tidy([Note(0.5, 1.0, 60, 100, 0)]), {0: 41}, [])
            with self.assertRaises(rendering.RenderError):
                rendering.timidity(mid, [])

    def test_rendered_audio_is_cut_or_padded_to_the_file_length(self):
        self.assertEqual(len(rendering.fit_length(np.ones((100, 2)), 1.0)), 44100)
        y = rendering.fit_length(np.ones((90000, 2)), 1.0)
        self.assertEqual(len(y), 44100)
        self.assertEqual(y[-1, 0], 0.0)


class WholeCorpus(unittest.TestCase):
    def test_script_writes_a_corpus_that_the_scorer_accepts(self):
        here = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
        with tempfile.TemporaryDirectory() as tmp:
            p = subprocess.run([os.path.join(here, 'make-devset.sh'), tmp, '--count', '1', '--seed', '5'],
                               capture_output=True, text=True)
            self.assertEqual(p.returncode, 0, p.stderr[-2000:])
            rows = make_devset.manifest.read(os.path.join(tmp, 'manifest.csv'))
            self.assertEqual([r['type'] for r in rows], compositions.TYPES)
            with open(os.path.join(tmp, 'manifest.csv')) as f:
                header = f.readline().strip().split(',')
            self.assertEqual(header[:7], ['id', 'type', 'duration_s', 'rate', 'channels', 'detune_cents', 'programs'])
            for r in rows:
                self.assertTrue(20 <= float(r['duration_s']) <= 40, r)
                last_off = max(float(n['offset_s']) for n in make_devset.manifest.read(os.path.join(tmp, r['id'] + '.csv')))
                self.assertLessEqual(last_off, float(r['duration_s']) - 0.5, r['id'])
                info = sf.info(os.path.join(tmp, r['id'] + '.mp3'))
                self.assertEqual((info.samplerate, info.channels), (int(r['rate']), int(r['channels'])))
            # The evaluation harness beside the repository, where there is one.
            scorer = os.path.join(os.path.dirname(os.path.dirname(here)), 'shared', 'eval', 'score.py')
            if os.path.exists(scorer):
                truth = os.path.join(tmp, rows[0]['id'] + '.csv')
                score = subprocess.run(['/usr/bin/python3', scorer, truth, truth], capture_output=True, text=True)
                self.assertIn('"F1_50": 1.0', score.stdout, score.stderr)


if __name__ == '__main__':
    unittest.main()
