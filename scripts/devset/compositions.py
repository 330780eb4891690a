"""Random but musical compositions, one generator per piece type.

Each generator takes a random.Random and a length in seconds and returns a Piece whose
notes start after a short lead-in and end before the length is reached.  Times are in
seconds; the MIDI writer quantises them later.
"""
import math

from . import families
from .tones import tones
from .theory import (DORIAN, DRUM_CHANNEL, MAJOR, MINOR, MIXOLYDIAN, PROGRESSIONS, Control, Key, Note,
                     Piece, dynamics, nearest, random_key, tones_in)


def tempo_beat(rng, lo=60, hi=180):
    return 60.0 / rng.uniform(lo, hi)


def chord_plan(rng, key, t0, end, bar, per_bar=1):
    """(start, end, pitch classes, degree) for each chord until end, cycling a progression."""
    prog, plan, t, i = rng.choice(PROGRESSIONS), [], t0, 0
    step = bar / per_bar
    while t + step <= end + 1e-9:
        deg = prog[i % len(prog)]
        size = 4 if rng.random() < 0.2 else 3
        plan.append((t, t + step, key.chord(deg, size), deg))
        t, i = t + step, i + 1
    return plan


def chord_at(plan, t):
    for c in plan:
        if c[0] <= t < c[1]:
            return c
    return plan[-1]


def melody(rng, key, plan, lo, hi, beat, ch, vel, durations=(0.5, 1, 1, 1, 2), legato=(0.8, 0.95), rest=0.08,
           overlap=None):
    """A stepwise line that lands on chord tones at chord changes.

    legato is the fraction of the time to the next onset a note is held; with overlap given
    the note is held exactly to the next onset (0) or that many seconds into it (legato bowing).
    """
    scale = key.scale(lo, hi)
    i = scale.index(nearest(scale, (lo + hi) // 2))
    t, end, notes = plan[0][0], plan[-1][1], []
    while t < end - 1e-9:
        d = min(rng.choice(durations) * beat, end - t)
        start_chord = any(abs(c[0] - t) < 1e-6 for c in plan)
        if rng.random() >= rest or not notes:
            if start_chord:
                pcs = chord_at(plan, t)[2]
                pool = [k for k, p in enumerate(scale) if p % 12 in pcs]
                i = min(pool, key=lambda k: abs(k - i) + rng.random())
            else:
                i = min(len(scale) - 1, max(0, i + rng.choice((-2, -1, -1, 1, 1, 2, 0, 3, -3))))
            hold = d + overlap if overlap is not None else d * rng.uniform(*legato)
            notes.append(Note(t, t + hold, scale[i], vel(t, 8 if start_chord else 0), ch))
        t += d
    return notes


def chord_voice(rng, plan, lo, hi, ch, vel, rhythm=None, beat=0.5, hold=0.95, voice=0, voices=1):
    """One voice of a homophonic texture: the chord tone nearest its previous pitch, split by rhythm."""
    notes, prev = [], lo + (hi - lo) * (voice + 1) // (voices + 1)
    for start, stop, pcs, _ in plan:
        pool = tones_in(pcs, lo, hi)
        prev = nearest(pool, prev + rng.choice((0, 0, 1, -1)))
        hits = rhythm or [(0.0, (stop - start) / beat)]
        for off_b, len_b in hits:
            on = start + off_b * beat
            if on >= stop - 1e-6:
                continue
            notes.append(Note(on, min(stop, on + len_b * beat * hold), prev, vel(on), ch))
    return notes


def bass_line(rng, plan, lo, hi, ch, vel, beat, pattern=(0, 2), hold=0.9):
    notes = []
    for start, stop, pcs, _ in plan:
        root = nearest(tones_in(pcs[:1], lo, hi), (lo + hi) // 2 - 4)
        fifth = tones_in(pcs[2:3], lo, hi)
        beats = [b for b in pattern if start + b * beat < stop - 1e-6]
        for j, b in enumerate(beats):
            nxt = beats[j + 1] if j + 1 < len(beats) else (stop - start) / beat
            p = root if j == 0 or not fifth or rng.random() < 0.5 else nearest(fifth, root)
            notes.append(Note(start + b * beat, start + (b + (nxt - b) * hold) * beat, p, vel(start + b * beat, 5), ch))
    return notes


def vibrato_bends(rng, ch, t0, end, rate=None, cents=None):
    """Pitch-bend LFO of a bowed or sung vibrato (bend range is 2 semitones)."""
    rate, cents = rate or rng.uniform(5.0, 6.0), cents or rng.uniform(10, 40)
    out, t, phase = [], t0, rng.uniform(0, 6.28)
    while t < end:
        out.append(Control(t, ch, 'bend', round(cents / 200 * 8191 * math.sin(phase + 6.2832 * rate * t))))
        t += 0.02
    out.append(Control(end, ch, 'bend', 0))
    return out, (rate, cents)


def add_vibrato(rng, piece, channels, t0, end):
    for ch in channels:
        if rng.random() < 0.65:
            bends, piece.vibrato[ch] = vibrato_bends(rng, ch, t0, end)
            piece.controls += bends
        else:   # the sound font's own vibrato, driven by the modulation wheel
            depth = rng.randint(30, 90)
            piece.controls.append(Control(t0, ch, 'cc', 1, depth))
            piece.vibrato[ch] = (5.5, 10 + depth / 4)


def strings(rng, length):
    key, beat = random_key(rng), tempo_beat(rng, 60, 130)
    bar, t0 = 4 * beat if rng.random() < 0.7 else 3 * beat, rng.uniform(0.3, 1.0)
    plan = chord_plan(rng, key, t0, length, bar, rng.choice((1, 2)))
    vel, roles = dynamics(rng, length), ['violin1', 'violin2', 'viola', 'cello']
    if rng.random() < 0.4:
        roles.append('bass')
    programs, notes = {}, []
    overlap = rng.choice((0.0, 0.02, 0.05))      # 0 = adjacent notes with no gap
    for ch, role in enumerate(roles):
        prog, lo, hi = families.pick(rng, 'strings', role)
        programs[ch] = prog
        if role == 'violin1':
            line = melody(rng, key, plan, lo, hi, beat, ch, vel, durations=(0.5, 1, 1, 1.5, 2, 0.25, 0.25),
                          rest=0.03, overlap=overlap)
            notes += line
        elif role in ('cello', 'bass'):
            notes += bass_line(rng, plan, lo, hi, ch, vel, beat, pattern=rng.choice(((0,), (0, 2), (0, 1, 2, 3))),
                               hold=1.0)
        else:
            rhythm = rng.choice((None, [(0, 2), (2, 2)], [(0, 1), (1, 1), (2, 1), (3, 1)]))
            notes += chord_voice(rng, plan, lo, hi, ch, vel, rhythm, beat, hold=1.0, voice=ch, voices=len(roles))
    piece = Piece(notes, programs)
    for ch in programs:   # slow bowed swells through the expression controller
        for start, stop, _, _ in plan[::2]:
            for k in range(6):
                piece.controls.append(Control(start + k * 0.06, ch, 'cc', 11, 70 + 10 * k + (k == 5) * 7))
    add_vibrato(rng, piece, programs, t0, plan[-1][1])
    return piece


def brass(rng, length):
    key, beat = random_key(rng, (MAJOR, MAJOR, MIXOLYDIAN, MINOR)), tempo_beat(rng, 70, 150)
    bar, t0 = 4 * beat, rng.uniform(0.3, 1.0)
    plan = chord_plan(rng, key, t0, length, bar, rng.choice((1, 2)))
    vel, programs, notes = dynamics(rng, length), {}, []
    rhythm = rng.choice(([(0, 1), (1, 1), (2, 2)], [(0, 1.5), (1.5, 0.5), (2, 2)], None, [(0, 2), (2, 1), (3, 1)]))
    for ch, role in enumerate(['trumpet1', 'trumpet2', 'horn', 'trombone', 'tuba']):
        prog, lo, hi = families.pick(rng, 'brass', role)
        programs[ch] = prog
        if role == 'trumpet1' and rng.random() < 0.6:
            notes += melody(rng, key, plan, lo, hi, beat, ch, vel, durations=(0.5, 1, 1, 2), legato=(0.7, 0.9))
        elif role == 'tuba':
            notes += bass_line(rng, plan, lo, hi, ch, vel, beat, pattern=(0, 2))
        else:
            notes += chord_voice(rng, plan, lo, hi, ch, vel, rhythm, beat, hold=0.85, voice=4 - ch, voices=5)
    return Piece(notes, programs)


def woodwinds(rng, length):
    key, beat = random_key(rng, (MAJOR, MINOR, DORIAN)), tempo_beat(rng, 60, 150)
    bar, t0 = 4 * beat if rng.random() < 0.6 else 3 * beat, rng.uniform(0.3, 1.0)
    plan = chord_plan(rng, key, t0, length, bar)
    vel, programs, notes = dynamics(rng, length), {}, []
    roles = ['flute', 'oboe', 'clarinet', 'bassoon'][:rng.choice((1, 2, 3, 4, 4))]
    for ch, role in enumerate(roles):
        prog, lo, hi = families.pick(rng, 'woodwinds', role)
        programs[ch] = prog
        # independent rhythms make counterpoint: the top voice moves fastest
        durs = [(0.5, 0.5, 1, 1, 1.5), (1, 1, 2, 0.5), (1, 2, 2, 1.5), (2, 1, 4, 2)][ch]
        notes += melody(rng, key, plan, lo, hi, beat, ch, vel, durations=durs, legato=(0.75, 0.97))
    return Piece(notes, programs)


def strum(rng, at, pitches, ch, vel, down, length, spread):
    order = sorted(pitches) if down else sorted(pitches, reverse=True)
    return [Note(at + k * spread, at + length, p, vel(at, 4 if down else -6), ch) for k, p in enumerate(order)]


def guitar_voicing(pcs, lo=40, hi=76):
    """Up to six strings: the root low, then chord tones stacked within about two octaves."""
    root = nearest(tones_in(pcs[:1], lo, lo + 11), lo + 5)
    tones = [p for p in tones_in(pcs, root, min(hi, root + 24))]
    return tones[:6]


def guitar(rng, length):
    key, beat = random_key(rng, (MAJOR, MAJOR, MINOR)), tempo_beat(rng, 70, 160)
    bar, t0 = 4 * beat, rng.uniform(0.3, 1.0)
    plan = chord_plan(rng, key, t0, length, bar, rng.choice((1, 2)))
    vel, notes = dynamics(rng, length), []
    prog, lo, hi = families.pick(rng, 'guitar', 'guitar')
    programs = {0: prog}
    style = rng.choice(('strum', 'pick', 'mixed'))
    for i, (start, stop, pcs, _) in enumerate(plan):
        voicing = guitar_voicing(pcs)
        mode = style if style != 'mixed' else ('strum' if i % 2 else 'pick')
        if mode == 'strum':
            pattern = rng.choice(([(0, 1), (1, 0), (1.5, 0), (2.5, 0), (3, 1)], [(0, 1), (2, 1)],
                                  [(0, 1), (1, 1), (2, 1), (2.5, 0), (3, 1), (3.5, 0)]))
            beats = [b for b, _ in pattern if start + b * beat < stop - 1e-6]
            for j, (b, down) in enumerate(p for p in pattern if p[0] in beats):
                nxt = beats[j + 1] if j + 1 < len(beats) else (stop - start) / beat
                chord = voicing if down else voicing[-rng.randint(3, 4):]
                notes += strum(rng, start + b * beat, chord, 0, vel, down, (nxt - b) * beat * 0.95,
                               rng.uniform(0.008, 0.03))
        else:   # picked: bass note then an arpeggio or a scale run on top
            notes.append(Note(start, stop - 0.02, voicing[0], vel(start, 6), 0))
            step = beat / rng.choice((1, 2, 2, 3))
            seq = voicing[1:] + voicing[-2:1:-1] if rng.random() < 0.6 else key.scale(voicing[2], min(hi, voicing[2] + 14))
            t, k = start + step, 0
            while t < stop - 1e-6:
                notes.append(Note(t, min(stop, t + step * rng.uniform(1.0, 2.5)), seq[k % len(seq)], vel(t), 0))
                t, k = t + step, k + 1
    return Piece(notes, programs)


def organ(rng, length):
    key, beat = random_key(rng), tempo_beat(rng, 60, 120)
    bar, t0 = 4 * beat, rng.uniform(0.3, 1.0)
    plan = chord_plan(rng, key, t0, length, bar, rng.choice((1, 1, 2)))
    vel = lambda t, a=0: 90   # organ pipes have no touch response; a constant velocity is realistic
    manual, mlo, mhi = families.pick(rng, 'organ', 'manual')
    pedal, plo, phi = families.pick(rng, 'organ', 'pedal')
    programs, notes = {0: manual, 1: pedal}, []
    for v in range(rng.choice((3, 4))):
        notes += chord_voice(rng, plan, mlo, mhi - 12, 0, vel, None, beat, hold=0.97, voice=v, voices=4)
    if rng.random() < 0.5:
        notes += melody(rng, key, plan, mhi - 18, mhi, beat, 2, vel, durations=(1, 1, 2, 0.5), legato=(0.9, 0.98))
        programs[2] = manual
    notes += bass_line(rng, plan, plo, phi, 1, vel, beat, pattern=rng.choice(((0,), (0, 2))), hold=0.97)
    return Piece(notes, programs)


DRUM_PATTERNS = [   # per eighth of a 4/4 bar: which GM drum keys play
    [(36, 42), (42,), (38, 42), (42,), (36, 42), (36, 42), (38, 42), (42,)],
    [(36, 51), (51,), (38, 51), (51, 36), (36, 51), (51,), (38, 51), (51,)],
    [(36, 42), (42,), (42, 38), (42, 36), (36, 42), (46,), (38, 42), (42, 38)],
    [(36, 44), (44,), (38, 44), (44,), (36, 44), (44, 36), (38, 44), (46,)],
]


def drums(rng, plan, beat, vel):
    pattern, notes = rng.choice(DRUM_PATTERNS), []
    for i, (start, stop, _, _) in enumerate(plan):
        eighths = int(round((stop - start) / (beat / 2)))
        for e in range(eighths):
            on = start + e * beat / 2
            keys = list(pattern[e % 8]) + ([49] if i % 4 == 0 and e == 0 else [])
            notes += [Note(on, on + 0.1, k, vel(on, 10 if k in (36, 38) else -10), DRUM_CHANNEL) for k in keys]
    return notes


def band(rng, length):
    key, beat = random_key(rng, (MAJOR, MINOR, DORIAN, MIXOLYDIAN)), tempo_beat(rng, 80, 170)
    bar, t0 = 4 * beat, rng.uniform(0.3, 1.0)
    plan = chord_plan(rng, key, t0, length, bar)
    vel = dynamics(rng, length)
    bass, blo, bhi = families.pick(rng, 'band', 'bass')
    chords, clo, chi = families.pick(rng, 'band', 'chords')
    lead, llo, lhi = families.pick(rng, 'band', 'lead')
    programs = {0: lead, 1: bass, 2: chords}
    notes = drums(rng, plan, beat, vel)
    notes += bass_line(rng, plan, blo, bhi, 1, vel, beat,
                       pattern=rng.choice(((0, 2), (0, 1.5, 2, 3.5), (0, 0.5, 1, 1.5, 2, 2.5, 3, 3.5), (0, 1, 2, 3))),
                       hold=rng.uniform(0.6, 0.95))
    rhythm = rng.choice(([(0, 1), (1, 1), (2, 1), (3, 1)], [(0, 1.5), (1.5, 1), (2.5, 1.5)], [(0.5, 0.5), (1.5, 0.5), (2.5, 0.5), (3.5, 0.5)]))
    for v in range(3):
        notes += chord_voice(rng, plan, clo, chi, 2, vel, rhythm, beat, hold=0.9, voice=v, voices=3)
    lead_plan = plan[1:] if len(plan) > 3 else plan     # the lead comes in after the first bar
    notes += melody(rng, key, lead_plan, llo, lhi, beat, 0, vel, durations=(0.5, 0.5, 1, 1, 1.5, 2), rest=0.15)
    return Piece(notes, programs)


def piano(rng, length):
    key, beat = random_key(rng), tempo_beat(rng, 60, 160)
    bar, t0 = 4 * beat if rng.random() < 0.75 else 3 * beat, rng.uniform(0.3, 1.0)
    plan = chord_plan(rng, key, t0, length, bar, rng.choice((1, 1, 2)))
    vel = dynamics(rng, length)
    prog, rlo, rhi = families.pick(rng, 'piano', 'right')
    _, llo, lhi = families.ENSEMBLES['piano']['left']
    notes, controls = [], []
    fig = rng.choice(('alberti', 'octaves', 'block', 'broken'))
    for start, stop, pcs, _ in plan:
        root = nearest(tones_in(pcs[:1], llo, lhi - 12), rng.choice((28, 33, 38, 43)))
        third, fifth = (nearest(tones_in([pc], root + 3, root + 19), root + 7) for pc in pcs[1:3])
        dur, t = stop - start, start
        if fig == 'octaves':
            notes += [Note(start, stop, root, vel(start, 6), 0), Note(start, stop, root + 12, vel(start), 0)]
        elif fig == 'block':
            notes += [Note(start, stop, p, vel(start), 0) for p in (root, fifth, third + 12)]
        else:
            seq = (root, fifth, third, fifth) if fig == 'alberti' else (root, fifth, root + 12, third + 12)
            step = beat / 2
            for k in range(int(round(dur / step))):
                notes.append(Note(t + k * step, t + (k + 1) * step, seq[k % 4], vel(t + k * step, -8), 0))
        # pedal down just after the chord change (so the old chord is cleared), up just before the next
        controls += [Control(start + 0.05, 0, 'cc', 64, 127), Control(stop - 0.03, 0, 'cc', 64, 0)]
    # right hand: melody with fast scale runs of up to 12 notes per second
    line, run_until = melody(rng, key, plan, rlo, rhi - 8, beat, 0, vel, durations=(0.5, 1, 1, 2, 0.5)), -1
    scale = key.scale(rlo, rhi)
    for n in line:
        if n.on < run_until:
            continue
        notes.append(n)
        if rng.random() < 0.12 and n.pitch in scale:
            step, count, i = rng.uniform(1 / 12, 1 / 7), rng.randint(5, 12), scale.index(n.pitch)
            direction = rng.choice((-1, 1))
            t = n.on + beat
            for k in range(count):
                i = min(len(scale) - 1, max(0, i + direction))
                notes.append(Note(t + k * step, t + (k + 0.9) * step, scale[i], vel(t, -5), 0))
            run_until = t + count * step
    return Piece(notes, {0: prog}, controls)


def folk(rng, length):
    key = Key(rng.choice((2, 7, 9, 0, 4)), rng.choice((MAJOR, MAJOR, DORIAN, MIXOLYDIAN)))
    beat = tempo_beat(rng, 90, 180)
    bar, t0 = (3 if rng.random() < 0.4 else 4) * beat, rng.uniform(0.3, 1.0)
    plan = chord_plan(rng, key, t0, length, bar)
    vel = dynamics(rng, length)
    tune, lo, hi = families.pick(rng, 'folk', 'tune')
    programs = {0: tune}
    notes = []
    for n in melody(rng, key, plan, lo, min(hi, lo + 26), beat, 0, vel, durations=(0.5, 0.5, 0.5, 1, 1.5), legato=(0.8, 0.95)):
        r = rng.random()
        if r < 0.06:      # the same pitch struck quickly several times (a bowed or tongued roll)
            step = rng.uniform(0.1, 0.16)
            count = rng.randint(3, 7)
            notes += [Note(n.on + k * step, n.on + (k + 0.8) * step, n.pitch, vel(n.on), 0) for k in range(count)]
        elif r < 0.2 and n.off - n.on > 0.15:    # grace note just before the beat
            g = 0.04 + 0.03 * rng.random()
            up = next((p for p in key.scale(n.pitch + 1, n.pitch + 4)), n.pitch + 2)
            notes += [Note(n.on, n.on + g, up, vel(n.on, -10), 0), n._replace(on=n.on + g)]
        else:
            notes.append(n)
    if rng.random() < 0.7:      # drone on tonic and fifth
        drone, dlo, dhi = families.pick(rng, 'folk', 'drone')
        programs[1] = drone
        root = nearest(tones_in([key.tonic], dlo, dhi), 50)
        for start, stop in ((plan[0][0], plan[len(plan) // 2][0]), (plan[len(plan) // 2][0], plan[-1][1])):
            notes += [Note(start, stop - 0.05, p, 70, 1) for p in (root, root + 7)]
    if rng.random() < 0.6:
        back, blo, bhi = families.pick(rng, 'folk', 'backing')
        programs[2] = back
        notes += bass_line(rng, plan, blo, blo + 14, 2, vel, beat, pattern=(0, 2) if bar > 3 * beat else (0,))
        for v in range(2):
            notes += chord_voice(rng, plan, blo + 12, bhi, 2, vel, [(1, 1), (3, 1)] if bar > 3 * beat else [(1, 1), (2, 1)],
                                 beat, hold=0.8, voice=v, voices=2)
    return Piece(notes, programs)


def synth(rng, length):
    """Material for our numpy instruments: lead, pad chords and bass; drawn from any family."""
    key, beat = random_key(rng, (MAJOR, MINOR, DORIAN)), tempo_beat(rng, 60, 180)
    bar, t0 = 4 * beat, rng.uniform(0.3, 1.0)
    plan = chord_plan(rng, key, t0, length, bar)
    vel = dynamics(rng, length)
    lead, pad, bass = (rng.randrange(0, 112) for _ in range(3))
    programs = {0: lead, 1: pad, 2: bass}
    notes = melody(rng, key, plan, 60, 96, beat, 0, vel, durations=(0.25, 0.5, 0.5, 1, 1, 2), rest=0.1)
    for v in range(rng.choice((0, 2, 3))):
        notes += chord_voice(rng, plan, 48, 76, 1, vel, None, beat, hold=0.95, voice=v, voices=3)
    notes += bass_line(rng, plan, 28, 48, 2, vel, beat, pattern=rng.choice(((0,), (0, 2), (0, 1, 2, 3))))
    piece = Piece(notes, programs)
    for ch in programs:
        if rng.random() < 0.5:
            piece.vibrato[ch] = (rng.uniform(4.5, 6.5), rng.uniform(8, 35))
    return piece


GENERATORS = {'strings': strings, 'brass': brass, 'woodwinds': woodwinds, 'guitar': guitar, 'organ': organ,
              'band': band, 'piano': piano, 'folk': folk, 'synth': synth, 'tones': tones}
TYPES = [t for t in GENERATORS if t != 'tones']     # the dev set's types, instrument families
TRAIN_TYPES = list(GENERATORS)                       # training adds plain tones
