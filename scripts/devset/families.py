"""Instrument families: GM programs and playing ranges per piece type, and how each source covers them."""

# type -> role -> (GM programs to choose from, lowest pitch, highest pitch)
ENSEMBLES = {
    'strings': {'violin1': ((40, 40, 48, 49), 67, 100), 'violin2': ((40, 48), 55, 88),
                'viola': ((41, 48), 48, 76), 'cello': ((42, 42, 48), 36, 67), 'bass': ((43, 42, 48), 28, 50)},
    'brass': {'trumpet1': ((56, 56, 59), 58, 82), 'trumpet2': ((56, 61), 55, 77), 'horn': ((60, 60, 61), 41, 72),
              'trombone': ((57, 57, 61), 40, 67), 'tuba': ((58, 58, 57), 28, 50)},
    'woodwinds': {'flute': ((73, 73, 72), 60, 96), 'oboe': ((68, 68, 69), 58, 88),
                  'clarinet': ((71, 71), 50, 86), 'bassoon': ((70, 70), 34, 67)},
    'guitar': {'guitar': ((24, 25, 24, 25, 26), 40, 84), 'bass': ((24, 25, 32), 36, 52)},
    'organ': {'manual': ((19, 19, 16, 17, 18, 20), 48, 88), 'pedal': ((19, 19, 16, 20), 24, 43)},
    'band': {'bass': ((33, 34, 32, 35, 38), 28, 40), 'chords': ((0, 4, 25, 27, 29, 5), 48, 79),
             'lead': ((80, 81, 65, 56, 73, 66, 29, 11), 62, 88)},
    'piano': {'right': ((0, 0, 1, 2), 55, 103), 'left': ((0, 0, 1, 2), 21, 62)},
    'folk': {'tune': ((110, 40, 73, 21, 22, 71, 78, 105), 55, 93), 'drone': ((21, 109, 40, 19, 16), 38, 62),
             'backing': ((24, 25, 21, 46, 0), 40, 67)},
    'synth': {'lead': ((80,), 60, 96), 'pad': ((88,), 48, 76), 'bass': ((38,), 28, 48)},
}

# TiMidity with freepats has no patch for these programs; it would play them silently or
# with an unrelated default, so they are mapped to the nearest instrument the bank has.
FREEPATS_MISSING = {3: 0, 10: 9, 11: 9, 12: 13, 17: 16, 18: 16, 20: 19, 22: 21, 31: 30, 39: 38,
                    41: 40, 43: 42, 49: 48, 50: 48, 51: 48, 52: 53, 54: 53, 55: 53, 62: 61,
                    63: 61, 77: 73, 78: 73, 81: 80, 82: 80, 83: 80, 85: 84, 86: 84, 87: 84,
                    89: 88, 90: 88, 91: 88, 92: 88, 93: 88, 96: 98, 97: 88, 99: 98, 100: 98,
                    103: 98, 105: 25, 106: 25, 107: 25, 108: 13, 109: 21, 110: 40, 111: 68}
FREEPATS_DRUMS = {35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54,
                  55, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74,
                  75, 76, 77, 78, 79, 80, 81, 82, 84}

# Our numpy synth: which of its instrument models stands in for a GM program.
SYNTH_MODEL_BY_PROGRAM = [
    (range(0, 8), 'stiff_string'), (range(8, 16), 'mallet'), (range(16, 24), 'organ'),
    (range(24, 32), 'pluck'), (range(32, 40), 'pluck_bass'), (range(40, 56), 'bowed'),
    (range(56, 64), 'brass'), (range(64, 80), 'reed'), (range(80, 88), 'detuned_saw'),
    (range(88, 104), 'pad'), (range(104, 112), 'pluck'), (range(112, 128), 'mallet'),
]


def synth_model(program):
    for span, model in SYNTH_MODEL_BY_PROGRAM:
        if program in span:
            return model
    return 'stiff_string'


def pick(rng, type_, role):
    programs, lo, hi = ENSEMBLES[type_][role]
    return rng.choice(programs), lo, hi
