"""Our own instruments in numpy, so the data holds timbres that no sound font has.

Models: inharmonic struck strings, mallets, drawbar organ, Karplus-Strong plucked strings,
bowed strings with vibrato and bow noise, brass and reeds with breathy attacks, detuned saws,
slow pads and a small drum kit; and plain test tones (sines, sawtooth-like and odd-partial
tones, struck or held, or one phase-continuous line through a legato scale).  Every note
starts at exactly its onset sample, so the audio lines up with the ground truth by
construction.
"""
import numpy as np
from scipy.signal import fftconvolve, lfilter

from .families import synth_model
from .theory import DRUM_CHANNEL

# model -> (attack s, release s, percussive decay per second or None for sustained, partial count)
ENVELOPES = {
    'stiff_string': (0.002, 0.12, 1.2, 24), 'mallet': (0.001, 0.1, 3.0, 4), 'organ': (0.008, 0.06, None, 9),
    'bowed': (0.12, 0.18, None, 18), 'brass': (0.04, 0.1, None, 16), 'reed': (0.03, 0.08, None, 15),
    'detuned_saw': (0.01, 0.15, None, 20), 'pad': (0.35, 0.5, None, 10),
}
MALLET_RATIOS = (1.0, 3.93, 9.54, 16.7)
DRAWBARS = (1.0, 0.8, 0.5, 0.6, 0.0, 0.3, 0.0, 0.25, 0.2)


def freq(pitch, cents=0.0):
    return 440.0 * 2 ** ((pitch - 69 + cents / 100) / 12)


def phase_track(f0, n, sr, vibrato, rng):
    """Instantaneous phase (radians) of the fundamental, with vibrato (rate Hz, depth cents)."""
    if not vibrato:
        return 2 * np.pi * f0 * np.arange(n) / sr
    rate, depth = vibrato
    t = np.arange(n) / sr
    # vibrato fades in over 0.2 s as players do, so the attack is at the written pitch
    depth_t = depth * np.minimum(1.0, t / 0.2)
    f = f0 * 2 ** (depth_t / 1200 * np.sin(2 * np.pi * rate * t + rng.uniform(0, 6.28)))
    return 2 * np.pi * np.cumsum(f) / sr


def envelope(n, hold, sr, attack, release, decay):
    t = np.arange(n) / sr
    env = np.minimum(1.0, t / attack) if attack > 0 else np.ones(n)
    if decay:
        env = env * np.exp(-decay * t)
    rel = t >= hold
    env[rel] *= np.exp(-(t[rel] - hold) / (release / 5))
    return env


def additive(model, f0, n, sr, hold, vel, vibrato, rng, inharm=0.0):
    attack, release, decay, partials = ENVELOPES[model]
    ph = phase_track(f0, n, sr, vibrato, rng)
    out = np.zeros(n)
    bright = 0.5 + vel / 127          # louder brass notes have stronger upper partials
    for k in range(1, partials + 1):
        if model == 'mallet':
            if k > len(MALLET_RATIOS):
                break
            ratio, amp = MALLET_RATIOS[k - 1], 1.0 / k ** 1.5
        elif model == 'organ':
            ratio, amp = (0.5, 1, 1.5, 2, 3, 4, 5, 6, 8)[k - 1], DRAWBARS[k - 1]
        else:
            ratio = k * np.sqrt(1 + inharm * k * k)
            amp = {'reed': (1.0 if k % 2 else 0.15) / k, 'brass': np.exp(-(k - 1) / (2 * bright)) / k ** 0.5,
                   'stiff_string': 1.0 / k ** (2.2 - vel / 127)}.get(model, 1.0 / k)
        if ratio * f0 >= 0.45 * sr or amp == 0:
            continue
        partial = amp * np.sin(ratio * ph + rng.uniform(0, 6.28))
        if decay and model in ('stiff_string', 'mallet'):   # upper partials die away faster
            partial *= np.exp(-decay * (ratio - 1) * 0.3 * np.arange(n) / sr)
        out += partial
    if model == 'detuned_saw':   # a second, mistuned oscillator beats against the first
        out += 0.7 * np.sign(np.sin(ph * 2 ** (rng.uniform(6, 14) / 1200)))
    if model == 'pad':
        out += sum(0.5 * np.sin(ph * 2 ** (c / 1200)) for c in (-9, 11))
    return out * envelope(n, hold, sr, attack, release, decay)


def tone_amplitudes(spec, f0, sr):
    ks = np.arange(1, spec['partials'] + 1)
    amps = np.where((ks % 2 == 1) | (not spec['odd']), 1.0 / ks ** spec['slope'], 0.0)
    return ks, np.where(ks * f0 < 0.45 * sr, amps, 0.0)


def plain_tone(spec, f0, n, sr, hold, vibrato, rng):
    ph = phase_track(f0, n, sr, vibrato, rng)
    ks, amps = tone_amplitudes(spec, f0, sr)
    out = sum(a * np.sin(k * ph + rng.uniform(0, 6.28)) for k, a in zip(ks, amps) if a > 0)
    return out * envelope(n, hold, sr, spec['attack'], 0.05, spec['decay'] or None)


def legato_line(notes, spec, detune_cents, sr, seconds_per_tick, total):
    """One oscillator through the channel's notes: the pitch steps at each onset with no break in
    phase or level, as a voice or a bow slurs a scale; the line rests where the notes leave gaps."""
    out = np.zeros(total)
    f = np.zeros(total)
    amp = np.zeros(total)
    for note in notes:
        a = int(round(note.on * seconds_per_tick * sr))
        b = min(total, int(round(note.off * seconds_per_tick * sr)))
        f[a:b] = freq(note.pitch, detune_cents)
        amp[a:b] = (note.velocity / 127) ** 1.6
    ramp = int(0.01 * sr)                       # 10 ms fades where the line starts or rests
    amp = np.convolve(amp, np.ones(ramp) / ramp, mode='same')
    ph = 2 * np.pi * np.cumsum(f) / sr
    for k, a in zip(*tone_amplitudes(spec, max(f.max(), 1.0), sr)):
        if a > 0:
            out += a * np.sin(k * ph)
    return out / (np.abs(out).max() + 1e-9) * amp


def breath_noise(n, sr, f0, rng, length):
    """Band-passed noise burst at the start of a bowed or blown note."""
    m = min(n, int(length * sr))
    noise = rng.standard_normal(m)
    r, w = 0.98, 2 * np.pi * min(f0 * 2, 0.4 * sr) / sr
    noise = lfilter([1 - r], [1, -2 * r * np.cos(w), r * r], noise)
    out = np.zeros(n)
    out[:m] = noise * np.linspace(1, 0, m) ** 2
    return out / (np.abs(out).max() + 1e-9)


def karplus_strong(f0, n, sr, hold, rng, brightness=0.5, decay=0.996):
    """Plucked string: a noise burst in a delay line with a two-point average, tuned exactly by
    rendering at the nearest integer period and then resampling to f0."""
    period = max(2, int(sr / f0 - 0.5))
    f_loop = sr / (period + 0.5)
    length = int(n * f0 / f_loop) + period + 2
    y = np.zeros(length)
    burst = rng.uniform(-1, 1, period)
    y[:period] = lfilter([brightness], [1, brightness - 1], burst)      # softer pluck = darker burst
    y[:period] -= y[:period].mean()     # the loop keeps any DC for ever; a string has none
    for start in range(period, length, period):
        stop = min(start + period, length)
        i = np.arange(start, stop)
        y[i] = decay * 0.5 * (y[i - period] + y[i - period - 1])
    out = np.interp(np.arange(n) * f0 / f_loop, np.arange(length), y)
    return out * envelope(n, hold, sr, 0, 0.08, None)


def drum(key, n, sr, rng):
    t = np.arange(n) / sr
    if key in (35, 36):
        f = 45 + 80 * np.exp(-t * 30)
        return np.sin(2 * np.pi * np.cumsum(f) / sr) * np.exp(-t * 9)
    noise = rng.standard_normal(n)
    if key in (37, 38, 39, 40):
        return 0.6 * noise * np.exp(-t * 18) + 0.5 * np.sin(2 * np.pi * 185 * t) * np.exp(-t * 25)
    hp = lfilter([1, -1], [1, -0.3], noise)
    tail = {42: 60, 44: 50, 46: 8, 49: 2.5, 51: 5, 57: 2.5}.get(key, 20)
    return 0.4 * hp * np.exp(-t * tail)


def room(rng, sr):
    """An impulse response: the direct sound at sample 0, then decaying noise (RT60 0.2-1.6 s)."""
    rt60 = rng.uniform(0.2, 1.6)
    n = int(rt60 * sr)
    tail = rng.standard_normal(n) * np.exp(-6.9 * np.arange(n) / n) * rng.uniform(0.002, 0.02)
    tail[: int(0.01 * sr)] = 0
    tail[0] = 1.0
    return tail


def render(notes, programs, vibrato, detune_cents, sr, seconds_per_tick, duration_s, seed, timbres=None):
    """Stereo float audio of sounding notes (tick times) with our instruments; channels in
    timbres play their plain tone instead of their program's instrument."""
    timbres = timbres or {}
    rng = np.random.default_rng(seed)
    total = int(duration_s * sr) + 1
    out = np.zeros((total, 2))
    pans = {ch: rng.uniform(0.2, 0.8) for ch in programs}
    pans[DRUM_CHANNEL] = 0.5
    inharm = {ch: rng.uniform(0.00005, 0.0006) for ch in programs}
    for ch, spec in timbres.items():
        if spec['legato']:
            line = legato_line([n for n in notes if n.channel == ch], spec, detune_cents, sr, seconds_per_tick, total)
            out[:, 0] += line * (1 - pans[ch])
            out[:, 1] += line * pans[ch]
    for note in notes:
        spec = timbres.get(note.channel)
        if spec and spec['legato']:
            continue
        start = int(round(note.on * seconds_per_tick * sr))
        hold = (note.off - note.on) * seconds_per_tick
        amp = (note.velocity / 127) ** 1.6
        if note.channel == DRUM_CHANNEL:
            n = min(total - start, int(1.5 * sr))
            sig = drum(note.pitch, n, sr, rng)
        else:
            model = synth_model(programs.get(note.channel, 0))
            f0 = freq(note.pitch, detune_cents)
            release = 0.6 if model == 'pad' else 0.25
            n = min(total - start, int((hold + release) * sr))
            if n <= 0:
                continue
            if spec:
                sig = plain_tone(spec, f0, n, sr, hold, vibrato.get(note.channel), rng)
            elif model in ('pluck', 'pluck_bass'):
                sig = karplus_strong(f0, n, sr, hold, rng, 0.3 + 0.5 * note.velocity / 127,
                                     0.999 if model == 'pluck_bass' else 0.996)
            else:
                sig = additive(model, f0, n, sr, hold, note.velocity, vibrato.get(note.channel), rng,
                               inharm[note.channel] if model == 'stiff_string' else 0.0)
                if model in ('bowed', 'brass', 'reed'):
                    sig += 0.25 * breath_noise(n, sr, f0, rng, 0.06)
            sig /= np.abs(sig).max() + 1e-9
        n = len(sig)
        pan = pans.get(note.channel, 0.5)
        out[start:start + n, 0] += amp * sig * (1 - pan)
        out[start:start + n, 1] += amp * sig * pan
    if rng.random() < 0.8:
        ir = room(rng, sr)
        out = np.stack([fftconvolve(out[:, c], ir)[:total] for c in range(2)], axis=1)
    return out
