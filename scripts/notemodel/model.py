"""The note model: harmonic stacking of the spectrum and four convolutions.

The C++ converter runs exactly this network on the same feature frames, so any change
here must be made there too.  Layout is [batch, channel, time, frequency].
"""
import numpy as np
import torch
from torch import nn

from features import BINS

# Channel c holds the spectrum at harmonic h_c of each output bin's pitch: with 36 bins
# per octave, harmonic h lies round(36 * log2(h)) bins above its fundamental.
HARMONICS = (1 / 5, 1 / 4, 1 / 3, 1 / 2, 1, 2, 3, 4, 5, 6, 7)
HARMONIC_SHIFTS = tuple(int(round(36 * np.log2(h))) for h in HARMONICS)   # -84 .. 101
FIRST_STACKED_BIN = 2           # pitch 20.67: three bins around each of MIDI 21..108
STACKED_BINS = 264
PAD_BELOW = -(FIRST_STACKED_BIN + min(HARMONIC_SHIFTS))
PAD_ABOVE = FIRST_STACKED_BIN + STACKED_BINS - 1 + max(HARMONIC_SHIFTS) - (BINS - 1)


def harmonic_stack(features):
    """[batch, time, 327] features -> [batch, 11, time, 264]: channel c at bin i is input
    column 2 + i + shift_c, zero where that column is outside the spectrum."""
    padded = nn.functional.pad(features, (PAD_BELOW, PAD_ABOVE))
    first = [FIRST_STACKED_BIN + shift + PAD_BELOW for shift in HARMONIC_SHIFTS]
    return torch.stack([padded[..., f:f + STACKED_BINS] for f in first], dim=1)


class NoteModel(nn.Module):
    """Logits [batch, 2, time, 88]: channel 0 = a note starts in this frame, channel 1 = the
    note sounds.  Time padding is zeros, as the C++ streams zero frames around the audio."""

    ONSET, SOUNDING = 0, 1

    def __init__(self):
        super().__init__()
        self.l1 = nn.Conv2d(len(HARMONICS), 16, kernel_size=(3, 5), padding=(1, 2))
        self.l2 = nn.Conv2d(16, 8, kernel_size=(3, 3), padding=(1, 1))
        self.l3 = nn.Conv2d(8, 8, kernel_size=(5, 3), stride=(1, 3), padding=(2, 0))
        # Every other frame over 170 ms: the slow attack of a bowed or blown note, and
        # whether a note was already sounding before.
        self.l4 = nn.Conv2d(8, 2, kernel_size=(9, 3), dilation=(2, 1), padding=(8, 1))

    def forward(self, features):
        # Channels-last runs these narrow convolutions about twice as fast on the CPU.
        x = harmonic_stack(features).contiguous(memory_format=torch.channels_last)
        x = torch.relu(self.l1(x))
        x = torch.relu(self.l2(x))
        x = torch.relu(self.l3(x))
        return self.l4(x)

    def exported_tensors(self):
        """The parameters in the order of the C++ weight table."""
        return [t for layer in (self.l1, self.l2, self.l3, self.l4) for t in (layer.weight, layer.bias)]
