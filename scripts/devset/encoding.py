"""From rendered float audio to the corpus MP3: channels, sample rate, level, LAME."""
import os
import subprocess
import tempfile
from math import gcd

import numpy as np
import soundfile as sf
from scipy.signal import resample_poly

ENCODERS = {   # name -> LAME options
    'cbr128': ['-b', '128'], 'cbr192': ['-b', '192'], 'cbr320': ['-b', '320'],
    'vbr-V2': ['-V', '2'], 'vbr-V5': ['-V', '5'],
}
MPEG2_MAX_KBPS = 160    # 22.05 kHz is MPEG-2 layer III, whose bit rates stop at 160 kbit/s


def prepare(x, from_rate, to_rate, channels, peak_dbfs):
    """Resample (zero-phase polyphase filter: no delay), mix to mono if asked, scale the peak."""
    if to_rate != from_rate:
        g = gcd(from_rate, to_rate)
        x = resample_poly(x, to_rate // g, from_rate // g, axis=0)
    if channels == 1:
        x = x.mean(axis=1, keepdims=True)
    peak = np.abs(x).max()
    if peak <= 0:
        raise ValueError('silent audio cannot be scaled to a peak level')
    return x * (10 ** (peak_dbfs / 20) / peak)


def lame_options(encoder, rate, channels):
    opts = list(ENCODERS[encoder])
    if opts[0] == '-b' and rate < 32000:
        opts[1] = str(min(int(opts[1]), MPEG2_MAX_KBPS))
    # LAME picks a lower output rate on its own for some settings; the rate is fixed here
    opts += ['--resample', {22050: '22.05', 44100: '44.1', 48000: '48'}[rate]]
    if channels == 1:
        opts += ['-m', 'm']
    return opts


def write_mp3(x, rate, path, encoder, keep_wav=None):
    """Encode; returns the duration in seconds.  The WAV goes to keep_wav if given."""
    channels = x.shape[1]
    with tempfile.TemporaryDirectory() as tmp:
        wav = keep_wav or os.path.join(tmp, 'in.wav')
        sf.write(wav, x, rate, subtype='PCM_16')
        p = subprocess.run(['lame', '--quiet'] + lame_options(encoder, rate, channels) + [wav, path],
                           capture_output=True, text=True)
        if p.returncode != 0 or not os.path.getsize(path):
            raise RuntimeError(f'lame failed ({p.returncode}): {p.stderr.strip()[-300:]}')
    info = sf.info(path)
    if (info.samplerate, info.channels) != (rate, channels):
        raise RuntimeError(f'{path}: MP3 is {info.samplerate} Hz x {info.channels}, wanted {rate} x {channels}')
    return len(x) / rate
