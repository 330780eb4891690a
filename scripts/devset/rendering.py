"""Sound sources: FluidSynth with three GM banks, TiMidity++ with freepats, and our numpy synth.

Each renderer returns float stereo audio at 44.1 kHz whose time zero is the MIDI file's time
zero, so the ground truth needs no shift.  TiMidity++ drops the silence before the first note
unless told not to; --preserve-silence keeps it.
"""
import os
import re
import subprocess
import tempfile

import numpy as np
import soundfile as sf

from . import synth
from .families import FREEPATS_DRUMS, FREEPATS_MISSING
from .midifile import SECONDS_PER_TICK

RENDER_RATE = 44100
SOUND_FONTS = {
    'fluidsynth-fluidr3': '/usr/share/sounds/sf2/FluidR3_GM.sf2',
    'fluidsynth-opl3': '/usr/share/sounds/sf2/OPL-3_FM_128M.sf2',
    'fluidsynth-csound': '/usr/share/sounds/sf2/sf_GMbank.sf2',
}
FREEPATS_CFG = '/etc/timidity/freepats.cfg'
SOURCES = list(SOUND_FONTS) + ['timidity-freepats', 'numpy-synth']


class RenderError(RuntimeError):
    pass


def effect_settings(rng, source):
    """Random room reverb and chorus for the renderer; returned as command-line options."""
    if source.startswith('fluidsynth'):
        on = rng.random() < 0.85
        opts = ['-R', '1' if on else '0', '-C', '1' if rng.random() < 0.5 else '0']
        for name, lo, hi in (('room-size', 0.1, 0.95), ('damp', 0.0, 0.8), ('width', 0.2, 1.0), ('level', 0.2, 0.9)):
            opts += ['-o', f'synth.reverb.{name}={rng.uniform(lo, hi):.2f}']
        opts += ['-o', f'synth.chorus.depth={rng.uniform(2, 12):.1f}', '-o', f'synth.chorus.level={rng.uniform(0.5, 3):.1f}']
        return opts
    if source == 'timidity-freepats':
        reverb = rng.choice(['d', f'n,{rng.randint(20, 127)}', f'g,{rng.randint(20, 127)}', f'f,{rng.randint(20, 127)}'])
        chorus = rng.choice(['d', f'n,{rng.randint(10, 90)}', f's,{rng.randint(10, 90)}'])
        return [f'-EFreverb={reverb}', f'-EFchorus={chorus}']
    return []


def read_float(path):
    x, sr = sf.read(path, dtype='float64', always_2d=True)
    if sr != RENDER_RATE:
        raise RenderError(f'{path}: rendered at {sr} Hz, expected {RENDER_RATE}')
    if x.shape[1] == 1:
        x = np.repeat(x, 2, axis=1)
    return x


def fluidsynth(mid, sound_font, options):
    with tempfile.TemporaryDirectory() as tmp:
        raw = os.path.join(tmp, 'raw.wav')
        run(['fluidsynth', '-ni', '-q', '-g', '0.4', '-o', 'audio.file.format=float', '-F', raw,
             '-r', str(RENDER_RATE)] + options + [sound_font, mid])
        return read_float(raw)


def timidity(mid, options):
    """TiMidity++ with freepats only.  The system config maps every program to a sound font
    first; freepats overrides the programs it has, so the log is checked that nothing was
    loaded from a sound font (that would be another bank sounding under the freepats name)."""
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, 'raw.wav')
        amp = 70
        for _ in range(4):     # 16-bit output: lower the amplification until nothing clips
            log = run(['timidity', '-c', FREEPATS_CFG, '-idvv', '-Ow', '-o', out, '-s', str(RENDER_RATE),
                       '--preserve-silence', f'-A{amp}'] + options + [mid])
            from_font = sorted(set(re.findall(r'Loading SF Tonebank \d+ \d+: [^\n]*|Loading SF Drumset[^\n]*', log)))
            if from_font:
                raise RenderError('timidity took instruments from a sound font, not freepats: ' + '; '.join(from_font))
            x = read_float(out)
            if np.abs(x).max() < 0.98:
                return x
            amp //= 2
        raise RenderError('timidity output clips even at low amplification')


def run(cmd):
    p = subprocess.run(cmd, capture_output=True, text=True, errors='replace')
    if p.returncode != 0:
        raise RenderError(f'{cmd[0]} exited with {p.returncode}: {p.stderr.strip()[-500:]}')
    return p.stdout + p.stderr


def freepats_compatible(notes, programs):
    """Programs remapped to patches freepats has; drum keys it lacks are errors, not silence."""
    missing = sorted({n.pitch for n in notes if n.channel == 9 and n.pitch not in FREEPATS_DRUMS})
    if missing:
        raise RenderError(f'freepats has no drum sound for keys {missing}')
    return {ch: FREEPATS_MISSING.get(p, p) for ch, p in programs.items()}


def render(source, mid, piece, sounding_notes, detune_cents, duration_s, rng, seed):
    """Audio of the piece from source.  mid is the MIDI file already written for it."""
    if source in SOUND_FONTS:
        x = fluidsynth(mid, SOUND_FONTS[source], effect_settings(rng, source))
    elif source == 'timidity-freepats':
        x = timidity(mid, effect_settings(rng, source))
    elif source == 'numpy-synth':
        x = synth.render(sounding_notes, piece.programs, piece.vibrato, detune_cents, RENDER_RATE,
                         SECONDS_PER_TICK, duration_s, seed, piece.timbres)
    else:
        raise RenderError(f'unknown source {source}')
    if not np.isfinite(x).all() or np.abs(x).max() < 1e-4:
        raise RenderError(f'{source} produced silent or invalid audio')
    return x


def fit_length(x, duration_s, fade_s=0.05):
    """Audio cut or padded to the MIDI file's length.  FluidSynth keeps rendering after the
    file ends while voices still sound (some banks hold notes for seconds), which would push
    pieces past their length; the cut gets a short fade so it does not click."""
    n = int(round(duration_s * RENDER_RATE))
    if len(x) < n:
        return np.concatenate([x, np.zeros((n - len(x), x.shape[1]))])
    x = x[:n].copy()
    f = min(n, int(fade_s * RENDER_RATE))
    x[n - f:] *= np.linspace(1, 0, f)[:, None]
    return x
