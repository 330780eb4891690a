"""Public-domain music written down by us, and its arrangement for the instrument families.

Tunes are note lists in a compact text form: NAME OCTAVE:BEATS (C#5:0.5, Bb3:1, r:1 for a
rest; '|' marks bars and is ignored).  The harmony is ours: each tune is harmonised by
choosing, per chord span, the primary chord that holds the melody note at its start.
The dev set and the training set use different tunes, so no tune is in both.
"""
import re

from . import compositions as comp
from . import families
from .theory import DORIAN, MINOR, Control, Key, Note, Piece, clip_piece, tones_in

NAMES = {'C': 0, 'D': 2, 'E': 4, 'F': 5, 'G': 7, 'A': 9, 'B': 11}


def parse(text):
    """'D5:1 r:0.5 F#5:0.5' -> [(pitch or None, beats)]."""
    out = []
    for tok in text.replace('|', ' ').split():
        name, beats = tok.split(':')
        if name == 'r':
            out.append((None, float(beats)))
            continue
        m = re.fullmatch(r'([A-G])([#b]?)(-?\d)', name)
        if not m:
            raise ValueError(f'bad note {tok!r}')
        pc = NAMES[m[1]] + {'#': 1, 'b': -1, '': 0}[m[2]]
        out.append((12 * (int(m[3]) + 1) + pc, float(beats)))
    return out


class Tune:
    def __init__(self, title, key, bar_beats, tempo, melody, bass=None, chord_beats=None, lift=1.0):
        self.title, self.key, self.bar_beats, self.tempo = title, key, bar_beats, tempo
        self.melody, self.bass = parse(melody), parse(bass) if bass else None
        self.chord_beats = chord_beats or bar_beats
        self.lift = lift     # the beat unit of tempo in written beats (a dotted quarter in 6/8 = 3)

    @property
    def beats(self):
        return sum(b for _, b in self.melody)


MINUET_G = Tune('Petzold: Minuet in G major (BWV Anh. 114)', Key(7), 3, (110, 140), '''
 D5:1 G4:0.5 A4:0.5 B4:0.5 C5:0.5 | D5:1 G4:1 G4:1 | E5:1 C5:0.5 D5:0.5 E5:0.5 F#5:0.5 | G5:1 G4:1 G4:1 |
 C5:1 D5:0.5 C5:0.5 B4:0.5 A4:0.5 | B4:1 C5:0.5 B4:0.5 A4:0.5 G4:0.5 | F#4:1 G4:0.5 A4:0.5 B4:0.5 G4:0.5 | A4:3 |
 D5:1 G4:0.5 A4:0.5 B4:0.5 C5:0.5 | D5:1 G4:1 G4:1 | E5:1 C5:0.5 D5:0.5 E5:0.5 F#5:0.5 | G5:1 G4:1 G4:1 |
 C5:1 D5:0.5 C5:0.5 B4:0.5 A4:0.5 | B4:1 C5:0.5 B4:0.5 A4:0.5 G4:0.5 | A4:1 B4:0.5 A4:0.5 G4:0.5 F#4:0.5 | G4:3 |
 B5:1 G5:0.5 A5:0.5 B5:0.5 G5:0.5 | A5:1 D5:0.5 E5:0.5 F#5:0.5 D5:0.5 | G5:1 E5:0.5 F#5:0.5 G5:0.5 D5:0.5 |
 C#5:1 B4:0.5 C#5:0.5 A4:1 | A4:0.5 B4:0.5 C#5:0.5 D5:0.5 E5:0.5 F#5:0.5 | G5:1 F#5:1 E5:1 | F#5:1 A4:1 C#5:1 | D5:3 |
 D5:1 G4:0.5 F#4:0.5 G4:1 | E5:1 G4:0.5 F#4:0.5 G4:1 | D5:1 C5:1 B4:1 | A4:0.5 G4:0.5 F#4:0.5 G4:0.5 A4:1 |
 D4:0.5 E4:0.5 F#4:0.5 G4:0.5 A4:0.5 B4:0.5 | C5:1 B4:1 A4:1 | B4:0.5 D5:0.5 G4:1 F#4:1 | G4:3''', bass='''
 G3:2 A3:1 | B3:3 | C4:3 | B3:3 | A3:3 | G3:3 | D4:1 B3:1 G3:1 | D4:1 D3:0.5 C4:0.5 B3:0.5 A3:0.5 |
 B3:2 A3:1 | G3:1 B3:1 G3:1 | C4:3 | B3:1 C4:0.5 B3:0.5 A3:0.5 G3:0.5 | A3:2 F#3:1 | G3:2 B3:1 | C4:1 D4:1 D3:1 | G3:2 G2:1 |
 G3:3 | F#3:3 | E3:2 G3:1 | A3:2 A2:1 | A3:3 | B3:1 D4:1 C#4:1 | D4:1 F#3:1 A3:1 | D4:1 D3:1 C4:1 |
 B3:3 | C4:3 | B3:1 A3:1 G3:1 | D4:3 | D3:3 | E3:1 G3:1 F#3:1 | G3:1 B2:1 D3:1 | G2:3''')

EMPEROR = Tune('Haydn: String Quartet Op. 76 No. 3, II, theme', Key(7), 4, (60, 76), '''
 G4:1.5 A4:0.5 B4:1 A4:1 | C5:1 B4:1 A4:0.5 F#4:0.5 G4:1 | E5:1 D5:1 C5:1 B4:1 | A4:1 B4:0.5 G4:0.5 D5:2 |
 G4:1.5 A4:0.5 B4:1 A4:1 | C5:1 B4:1 A4:0.5 F#4:0.5 G4:1 | E5:1 D5:1 C5:1 B4:1 | A4:1 B4:0.5 G4:0.5 D5:2 |
 A4:1 B4:1 A4:0.5 F#4:0.5 D4:1 | C5:1 B4:1 A4:0.5 F#4:0.5 D4:1 | D5:1 C5:1 B4:1.5 B4:0.5 | C#5:1 B4:0.5 C#5:0.5 D5:2 |
 G5:1.5 F#5:0.5 F#5:0.5 E5:0.5 D5:1 | E5:1.5 D5:0.5 D5:0.5 C5:0.5 B4:1 |
 A4:1.5 B4:0.25 C5:0.25 D5:0.5 E5:0.5 C5:0.5 A4:0.5 | G4:1 B4:0.5 A4:0.5 G4:2''', chord_beats=2)

ODE_TO_JOY = Tune('Beethoven: Symphony No. 9, IV, "Ode to Joy" theme', Key(2), 4, (100, 126), '''
 F#4:1 F#4:1 G4:1 A4:1 | A4:1 G4:1 F#4:1 E4:1 | D4:1 D4:1 E4:1 F#4:1 | F#4:1.5 E4:0.5 E4:2 |
 F#4:1 F#4:1 G4:1 A4:1 | A4:1 G4:1 F#4:1 E4:1 | D4:1 D4:1 E4:1 F#4:1 | E4:1.5 D4:0.5 D4:2 |
 E4:1 E4:1 F#4:1 D4:1 | E4:1 F#4:0.5 G4:0.5 F#4:1 D4:1 | E4:1 F#4:0.5 G4:0.5 F#4:1 E4:1 | D4:1 E4:1 A3:2 |
 F#4:1 F#4:1 G4:1 A4:1 | A4:1 G4:1 F#4:1 E4:1 | D4:1 D4:1 E4:1 F#4:1 | E4:1.5 D4:0.5 D4:2''', chord_beats=2)

# 6/8 tunes are written in eighths (bar = 6 beats); tempo counts dotted quarters.  Our jig
# arrangement plays the first strain, then the same strain an octave higher.
WASHERWOMAN = Tune('Trad.: The Irish Washerwoman (jig)', Key(7), 6, (100, 120), '''
 B4:1 G4:1 G4:1 D4:1 G4:1 G4:1 | B4:1 G4:1 B4:1 D5:1 C5:1 B4:1 | C5:1 A4:1 A4:1 E4:1 A4:1 A4:1 |
 C5:1 B4:1 C5:1 E5:1 D5:1 C5:1 | B4:1 G4:1 G4:1 D4:1 G4:1 G4:1 | B4:1 G4:1 B4:1 D5:1 C5:1 B4:1 |
 C5:1 B4:1 C5:1 A4:1 D5:1 C5:1 | B4:1 G4:1 G4:1 G4:2 r:1 |
 B5:1 G5:1 G5:1 D5:1 G5:1 G5:1 | B5:1 G5:1 B5:1 D6:1 C6:1 B5:1 | C6:1 A5:1 A5:1 E5:1 A5:1 A5:1 |
 C6:1 B5:1 C6:1 E6:1 D6:1 C6:1 | B5:1 G5:1 G5:1 D5:1 G5:1 G5:1 | B5:1 G5:1 B5:1 D6:1 C6:1 B5:1 |
 C6:1 B5:1 C6:1 A5:1 D6:1 C6:1 | B5:1 G5:1 G5:1 G5:3''', chord_beats=3, lift=3)

GREENSLEEVES = Tune('Trad.: Greensleeves', Key(9, MINOR), 6, (50, 62), '''
 r:5 A4:1 | C5:2 D5:1 E5:1.5 F5:0.5 E5:1 | D5:2 B4:1 G4:1.5 A4:0.5 B4:1 | C5:2 A4:1 A4:1.5 G#4:0.5 A4:1 |
 B4:2 G#4:1 E4:2 A4:1 | C5:2 D5:1 E5:1.5 F5:0.5 E5:1 | D5:2 B4:1 G4:1.5 A4:0.5 B4:1 |
 C5:1.5 B4:0.5 A4:1 G#4:1.5 F#4:0.5 G#4:1 | A4:3 A4:3 | G5:3 G5:1.5 F#5:0.5 E5:1 | D5:2 B4:1 G4:1.5 A4:0.5 B4:1 |
 C5:2 A4:1 A4:1.5 G#4:0.5 A4:1 | B4:2 G#4:1 E4:3 | G5:3 G5:1.5 F#5:0.5 E5:1 | D5:2 B4:1 G4:1.5 A4:0.5 B4:1 |
 C5:1.5 B4:0.5 A4:1 G#4:1.5 F#4:0.5 G#4:1 | A4:3 A4:3''', chord_beats=3, lift=3)

SWALLOWTAIL = Tune('Trad.: The Swallowtail Jig', Key(4, DORIAN), 6, (105, 125), '''
 G4:1 E4:1 E4:1 B4:1 E4:1 E4:1 | G4:1 E4:1 E4:1 B4:1 A4:1 G4:1 | F#4:1 D4:1 D4:1 A4:1 D4:1 D4:1 |
 D5:1 C#5:1 D5:1 A4:1 G4:1 F#4:1 | G4:1 E4:1 E4:1 B4:1 E4:1 E4:1 | G4:1 E4:1 E4:1 B4:2 C#5:1 |
 D5:1 C#5:1 D5:1 A4:1 G4:1 F#4:1 | G4:1 E4:1 E4:1 E4:3 |
 B4:2 C#5:1 D5:2 E5:1 | F#5:1 E5:1 D5:1 E5:1 D5:1 B4:1 | B4:2 C#5:1 D5:2 E5:1 | F#5:1 E5:1 D5:1 B4:3 |
 B4:2 C#5:1 D5:2 E5:1 | F#5:1 E5:1 D5:1 E5:1 D5:1 B4:1 | D5:1 C#5:1 D5:1 A4:1 G4:1 F#4:1 | G4:1 E4:1 E4:1 E4:3''',
                  chord_beats=3, lift=3)

# type -> tune, one list for each split so the two never share a tune
DEV_TUNES = {'piano': MINUET_G, 'strings': EMPEROR, 'brass': ODE_TO_JOY, 'folk': WASHERWOMAN}
TRAIN_TUNES = {'guitar': GREENSLEEVES, 'folk': SWALLOWTAIL, 'woodwinds': GREENSLEEVES}


def harmonise(tune, key, t0, beat):
    """A chord plan (start, end, pitch classes, degree or None) in seconds for the melody."""
    plan, t, pos, mel = [], t0, 0.0, []
    for pitch, beats in tune.melody:
        mel.append((pos, pitch))
        pos += beats
    span = tune.chord_beats
    n_spans = int(round(tune.beats / span + 0.4999))
    prev = None
    for i in range(n_spans):
        start_b = i * span
        sounding = [p for b, p in mel if b <= start_b + 1e-9 and p is not None]
        here = [p for b, p in mel if start_b - 1e-9 <= b < start_b + span - 1e-9 and p is not None]
        target = (here[0] if here else (sounding[-1] if sounding else key.tonic)) % 12
        last = i == n_spans - 1
        choices = [0] if last else [0, 4, 3, 5, 1]
        fits = [d for d in choices if target in key.chord(d)]
        if not fits:   # a note outside the key: a major chord with it as the third (V of V and the like)
            root = (target - 4) % 12
            plan.append((t0 + start_b * beat, t0 + (start_b + span) * beat, [root, target, (root + 7) % 12], None))
            prev = None
            continue
        deg = fits[0] if fits[0] != prev or len(fits) == 1 else fits[1]
        plan.append((t0 + start_b * beat, t0 + (start_b + span) * beat, key.chord(deg), deg))
        prev = deg
    return plan


def line_notes(events, t0, beat, ch, vel, transpose, hold=0.92):
    notes, t = [], t0
    for pitch, beats in events:
        if pitch is not None:
            notes.append(Note(t, t + beats * beat * hold, pitch + transpose, vel(t), ch))
        t += beats * beat
    return notes


def fit_transpose(tune, lo, hi, rng, allow_key_change):
    """Octave shift (and for training a key change) that puts the melody inside lo..hi."""
    pitches = [p for p, _ in tune.melody if p is not None]
    shifts = [s for s in range(-36, 37) if lo <= min(pitches) + s and max(pitches) + s <= hi]
    if not allow_key_change:
        shifts = [s for s in shifts if s % 12 == 0] or shifts
    if not shifts:
        raise ValueError(f'{tune.title} does not fit {lo}-{hi}')
    return rng.choice(shifts)


def arrange(tune, type_, rng, length, train):
    """The tune (repeated to fill length) arranged for the family of type_."""
    beat = 60.0 / rng.uniform(*tune.tempo) / tune.lift
    t0 = rng.uniform(0.3, 1.0)
    reps = int((length - t0) // (tune.beats * beat)) + 1     # the last one is cut at a bar line
    top_role = {'strings': 'violin1', 'brass': 'trumpet1', 'woodwinds': 'flute', 'guitar': 'guitar',
                'piano': 'right', 'folk': 'tune', 'organ': 'manual'}[type_]
    prog, lo, hi = families.pick(rng, type_, top_role)
    if type_ == 'guitar':
        lo = 52
    shift = fit_transpose(tune, lo, hi, rng, train)
    key = Key(tune.key.tonic + shift, tune.key.mode)
    vel = comp.dynamics(rng, length)
    notes, controls, programs, plan = [], [], {0: prog}, []
    for r in range(reps):
        start = t0 + r * tune.beats * beat
        plan += harmonise(tune, key, start, beat)
        legato = 1.0 if type_ in ('strings', 'organ') else 0.9
        notes += line_notes(tune.melody, start, beat, 0, vel, shift, legato)
        if tune.bass and type_ == 'piano':
            notes += line_notes(tune.bass, start, beat, 0, vel, shift, 0.95)
    if type_ == 'piano':
        for s, e, _, _ in plan:
            controls += [Control(s + 0.04, 0, 'cc', 64, 127), Control(e - 0.03, 0, 'cc', 64, 0)]
        if not tune.bass:
            notes += comp.bass_line(rng, plan, 28, 52, 0, vel, beat, pattern=(0,))
    elif type_ in ('strings', 'brass', 'woodwinds'):
        roles = {'strings': ['violin2', 'viola', 'cello'], 'brass': ['trumpet2', 'horn', 'trombone', 'tuba'],
                 'woodwinds': ['oboe', 'clarinet', 'bassoon']}[type_]
        for ch, role in enumerate(roles, start=1):
            p, rlo, rhi = families.pick(rng, type_, role)
            programs[ch] = p
            if ch == len(roles):
                notes += comp.bass_line(rng, plan, rlo, rhi, ch, vel, beat, pattern=(0,), hold=0.97)
            else:
                notes += comp.chord_voice(rng, plan, rlo, min(rhi, lo + 12), ch, vel, None, beat, hold=0.97,
                                          voice=len(roles) - ch, voices=len(roles))
    elif type_ == 'guitar':
        for s, e, pcs, _ in plan:
            notes += comp.strum(rng, s, comp.guitar_voicing(pcs, 40, 60), 1, vel, True, (e - s) * 0.9,
                                rng.uniform(0.01, 0.03))
        programs[1] = prog
    elif type_ == 'folk':
        drone, dlo, dhi = families.pick(rng, 'folk', 'drone')
        programs[1] = drone
        root = min(tones_in([key.tonic], dlo, dhi))
        notes += [Note(plan[0][0], plan[-1][1], p, 70, 1) for p in (root, root + 7)]
    piece = Piece(notes, programs, controls, title=tune.title)
    if type_ == 'strings':
        comp.add_vibrato(rng, piece, programs, t0, plan[-1][1])
    bar = tune.bar_beats * beat       # a tune longer than the piece stops at a bar line
    return clip_piece(piece, t0 + max(1, int((length - t0) // bar)) * bar)
