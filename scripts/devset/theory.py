"""Music building blocks shared by the composers: notes, pieces, keys, chords, dynamics."""
import math
from dataclasses import dataclass, field
from typing import NamedTuple

DRUM_CHANNEL = 9
MAJOR = (0, 2, 4, 5, 7, 9, 11)
MINOR = (0, 2, 3, 5, 7, 8, 10)          # natural minor; the leading tone is raised where chords need it
DORIAN = (0, 2, 3, 5, 7, 9, 10)
MIXOLYDIAN = (0, 2, 4, 5, 7, 9, 10)


class Note(NamedTuple):
    on: float        # seconds from the start of the audio
    off: float       # key release, seconds
    pitch: int
    velocity: int
    channel: int


class Control(NamedTuple):
    time: float
    channel: int
    kind: str        # 'cc' (a = controller, b = value) or 'bend' (a = -8192..8191, b unused)
    a: int
    b: int = 0


@dataclass
class Piece:
    """A composition as the synthesizer plays it: notes, controllers, one GM program per channel."""
    notes: list
    programs: dict                                     # channel -> GM program
    controls: list = field(default_factory=list)
    title: str = 'random'
    vibrato: dict = field(default_factory=dict)       # channel -> (rate Hz, depth cents) for our synth
    timbres: dict = field(default_factory=dict)       # channel -> our synth's plain tone (tones.timbre)

    @property
    def end(self):
        return max(n.off for n in self.notes)


class Key:
    """A tonic pitch class and a mode; degree arithmetic in scale steps."""

    def __init__(self, tonic, mode=MAJOR):
        self.tonic, self.mode = tonic % 12, mode

    def pitch(self, degree, octave_base=60):
        """Pitch of scale degree (0 = tonic, may be negative or above 6) near octave_base."""
        octave, step = divmod(degree, 7)
        base = octave_base - (octave_base - self.tonic) % 12
        return base + 12 * octave + self.mode[step]

    def scale(self, lo, hi):
        return [p for p in range(lo, hi + 1) if (p - self.tonic) % 12 in self.mode]

    def chord(self, degree, size=3):
        """Pitch classes of the chord on degree, stacked in thirds; V and VII get a leading tone in minor."""
        pcs = [self.pitch(degree + 2 * j) % 12 for j in range(size)]
        if self.mode == MINOR and degree % 7 in (4, 6):
            lead = (self.tonic - 1) % 12
            pcs = [lead if pc == (self.tonic - 2) % 12 else pc for pc in pcs]
        return pcs


PROGRESSIONS = [          # scale degrees, one chord per bar or half bar
    (0, 3, 4, 0), (0, 5, 3, 4), (0, 4, 5, 3), (0, 3, 0, 4), (5, 3, 0, 4),
    (0, 1, 4, 0), (0, 5, 1, 4), (0, 3, 6, 2, 5, 1, 4, 0), (0, 4, 5, 2, 3, 0, 3, 4),
]


def random_key(rng, modes=(MAJOR, MAJOR, MINOR)):
    return Key(rng.randrange(12), rng.choice(modes))


def tones_in(pcs, lo, hi):
    return [p for p in range(lo, hi + 1) if p % 12 in pcs]


def nearest(pool, target):
    return min(pool, key=lambda p: (abs(p - target), p))


def dynamics(rng, length):
    """A velocity curve over the piece: phrase arcs around a random level (pp..ff), 20..127."""
    base, swing, period = rng.uniform(55, 100), rng.uniform(5, 25), rng.uniform(4, 12)
    phase = rng.uniform(0, 6.28)

    def vel(t, accent=0):
        v = base + swing * math.sin(phase + 6.283 * t / period) + accent + rng.uniform(-6, 6)
        return int(min(127, max(20, round(v))))
    return vel


def clip_piece(piece, end):
    """The piece cut at end seconds: later notes dropped, held notes released, controllers after
    end dropped and every bent channel returned to its rest position at end."""
    notes = [n._replace(off=min(n.off, end)) for n in piece.notes if n.on < end - 0.05]
    controls = [c for c in piece.controls if c.time < end]
    bent = sorted({c.channel for c in controls if c.kind == 'bend'})
    controls += [Control(end, ch, 'bend', 0) for ch in bent]
    return Piece(notes, piece.programs, controls, piece.title, piece.vibrato, piece.timbres)
