"""Plain tones for training only: what music rarely isolates but a transcriber must still get
right.  Bare sines and bright sawtooth-like tones from the lowest piano key to the highest,
sub-bass lines, vibrato that is not a new note, phase-continuous legato scales, fast repeated
strikes, bow changes on one pitch, and chords whose partials line up with other notes, with and
without a real octave doubling.  Our synth plays every channel with its own plain timbre.
"""
from .theory import MAJOR, MINOR, Note, Piece, random_key

LOWEST, HIGHEST = 21, 108


def timbre(rng, legato=False, struck=False):
    """A plain tone: partials, spectral slope (amplitude 1/k**slope), odd partials only, attack
    in seconds, decay per second (0 = held), legato (the channel is one phase-continuous line)."""
    partials = 1 if rng.random() < 0.3 else rng.randint(2, 20)
    return {'partials': partials, 'slope': rng.uniform(0.6, 2.2), 'odd': rng.random() < 0.2,
            'attack': rng.uniform(0.001, 0.01) if struck else rng.uniform(0.005, 0.12),
            'decay': rng.uniform(2, 8) if struck else 0.0, 'legato': legato}


def held(rng, t, ch, piece):
    """One to three long tones anywhere on the keyboard, some with vibrato."""
    piece.timbres[ch] = timbre(rng)
    if rng.random() < 0.5:
        piece.vibrato[ch] = (rng.uniform(4.5, 7.0), rng.uniform(10, 45))
    notes = []
    for _ in range(rng.randint(1, 3)):
        d = rng.uniform(0.6, 2.5)
        # The ends of the keyboard, where music puts few notes, as often as the middle.
        pitch = rng.choice((rng.randint(LOWEST, 36), rng.randint(37, 92), rng.randint(93, HIGHEST)))
        notes.append(Note(t, t + d, pitch, rng.randint(40, 120), ch))
        t += d + rng.uniform(0.1, 0.6)
    return notes, t


def low_line(rng, t, ch, piece):
    """Bare or nearly bare tones from the lowest key to C2, held or short, as synth basses and
    organ pedals play them: the drums' kicks put short low sines in the music too, and these
    are notes."""
    piece.timbres[ch] = dict(timbre(rng), partials=rng.randint(1, 3))
    notes = []
    for _ in range(rng.randint(2, 5)):
        d = rng.uniform(0.25, 1.5)
        notes.append(Note(t, t + d, rng.randint(LOWEST, 36), rng.randint(50, 120), ch))
        t += d + rng.uniform(0.05, 0.4)
    return notes, t + rng.uniform(0.2, 0.5)


def legato_scale(rng, t, ch, piece):
    """A scale or arpeggio slurred on one oscillator: no dip between the notes."""
    piece.timbres[ch] = timbre(rng, legato=True)
    key = random_key(rng, (MAJOR, MINOR))
    lo = rng.randint(28, 90)
    scale = key.scale(lo, min(HIGHEST, lo + 24))
    step, notes, i = rng.uniform(0.12, 0.45), [], rng.randrange(len(scale))
    for _ in range(rng.randint(4, 12)):
        notes.append(Note(t, t + step, scale[i], rng.randint(60, 110), ch))
        i = min(len(scale) - 1, max(0, i + rng.choice((-2, -1, 1, 1, 2))))
        t += step
    return notes, t + rng.uniform(0.2, 0.5)


def repeats(rng, t, ch, piece):
    """One pitch struck again and again, 3 to 12 times a second, or bowed with no gap."""
    struck = rng.random() < 0.6
    piece.timbres[ch] = timbre(rng, struck=struck)
    pitch, rate = rng.randint(28, 100), rng.uniform(3, 12) if struck else rng.uniform(1.5, 4)
    notes = []
    for _ in range(rng.randint(3, 10)):
        length = 1 / rate * (rng.uniform(0.5, 0.9) if struck else 1.0)
        notes.append(Note(t, t + length, pitch, rng.randint(50, 120), ch))
        t += 1 / rate
    return notes, t + rng.uniform(0.2, 0.5)


def chord(rng, t, ch, piece):
    """Three or four bright notes together, sometimes with the lowest doubled an octave up."""
    piece.timbres[ch] = dict(timbre(rng), partials=rng.randint(8, 20))
    key = random_key(rng, (MAJOR, MINOR))
    degree, base = rng.randrange(7), rng.choice((36, 48, 60, 72))
    pitches = sorted(key.pitch(degree + 2 * j, base) for j in range(rng.randint(3, 4)))
    if rng.random() < 0.4:
        pitches.append(pitches[0] + 12)
    d, vel = rng.uniform(0.8, 2.0), rng.randint(60, 110)
    notes = [Note(t, t + d, p, vel, ch) for p in sorted(set(pitches)) if LOWEST <= p <= HIGHEST]
    return notes, t + d + rng.uniform(0.2, 0.6)


SECTIONS = (held, held, low_line, legato_scale, repeats, repeats, chord)


def tones(rng, length):
    """Sections one after another, each on a channel of its own so each has its own timbre."""
    piece, t, ch = Piece([], {}), rng.uniform(0.3, 0.8), 0
    while t < length - 2.5:
        notes, t = rng.choice(SECTIONS)(rng, t, ch, piece)
        piece.notes += notes
        piece.programs[ch] = 80
        ch = ch + 1 if ch + 1 != 9 else 10
        if ch > 15:
            break
    return piece
