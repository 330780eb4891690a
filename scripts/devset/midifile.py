"""Quantised note lists, the ground truth as it sounds (sustain pedal), and MIDI/CSV writing.

All times go through one tick grid (960 ticks per beat at 120 BPM, 1/1920 s a tick) so the
MIDI file, the CSV and our own synthesizer see identical note times.
"""
import csv

import mido

from .theory import DRUM_CHANNEL, Control, Note

TICKS_PER_BEAT, TEMPO_US = 960, 500000
SECONDS_PER_TICK = TEMPO_US / 1e6 / TICKS_PER_BEAT
MIN_NOTE_TICKS = 10               # ~5 ms: shorter notes are dropped, no synthesizer sounds them reliably
RELEASE_TAIL_S = 1.5              # the MIDI file (and so the audio) lasts this long after the last event
CSV_HEADER = ['onset_s', 'offset_s', 'pitch', 'velocity', 'channel']


def tick(t):
    return round(t / SECONDS_PER_TICK)


def seconds(ticks):
    return ticks * SECONDS_PER_TICK


def tidy(notes):
    """Quantise to ticks; where a pitch restarts on its channel the earlier note ends there.

    Returns Notes with integer tick times, sorted by onset.  A same-pitch overlap would make
    the note-off ambiguous to a synthesizer, so it is resolved here for MIDI and CSV alike.
    """
    q = sorted({(tick(n.on), tick(n.off), int(n.pitch), int(n.velocity), int(n.channel)) for n in notes},
               key=lambda n: (n[4], n[2], n[0], n[1]))
    out = []
    for a, b in zip(q, q[1:] + [None]):
        on, off = a[0], a[1]
        if b and b[4] == a[4] and b[2] == a[2]:
            if b[0] == on:
                continue                      # the same key struck twice at once: keep the later, longer one
            off = min(off, b[0])
        if off - on >= MIN_NOTE_TICKS and 0 <= a[2] <= 127:
            out.append(Note(on, off, a[2], max(1, min(127, a[3])), a[4]))
    return sorted(out)


def pedal_spans(controls, channel, end_tick):
    """[(down, up)] tick spans where the sustain pedal (CC64 >= 64) is held on channel."""
    spans, down = [], None
    for c in sorted((c for c in controls if c.channel == channel and c.kind == 'cc' and c.a == 64), key=lambda c: c.time):
        t = tick(c.time)
        if c.b >= 64 and down is None:
            down = t
        elif c.b < 64 and down is not None:
            spans.append((down, t))
            down = None
    if down is not None:
        spans.append((down, end_tick))
    return spans


def sounding(notes, controls):
    """Ground truth from tidy notes: a key released under the pedal sounds until the pedal is
    released, or until the same key is struck again, whichever comes first."""
    end = max(n.off for n in notes)
    spans = {ch: pedal_spans(controls, ch, end) for ch in {n.channel for n in notes}}
    ext = []
    for n in notes:
        off = n.off
        for down, up in spans[n.channel]:
            if down <= off < up:
                off = up
        ext.append(n._replace(off=off))
    nxt = {}
    out = []
    for n in sorted(ext, key=lambda n: (n.channel, n.pitch, -n.on)):
        k = (n.channel, n.pitch)
        out.append(n._replace(off=min(n.off, nxt[k])) if k in nxt else n)
        nxt[k] = n.on
    return sorted(out)


def write_csv(path, notes):
    """notes in ticks -> CSV in seconds."""
    with open(path, 'w', newline='') as f:
        w = csv.writer(f)
        w.writerow(CSV_HEADER)
        w.writerows([f'{seconds(n.on):.6f}', f'{seconds(n.off):.6f}', n.pitch, n.velocity, n.channel] for n in notes)


def bend_value(cents):
    return max(-8192, min(8191, round(cents / 200 * 8192)))


def write_midi(path, notes, programs, controls, detune_cents=0, setup=None):
    """notes in ticks; controls in seconds.  setup: channel -> {controller: value} sent at tick 0
    (reverb and chorus sends, volume, pan).  A global detune is a pitch bend on every pitched
    channel, added to any vibrato bend so both sound."""
    ev = [(0, 0, mido.MetaMessage('set_tempo', tempo=TEMPO_US))]
    base = bend_value(detune_cents)
    for ch, prog in sorted(programs.items()):
        if ch == DRUM_CHANNEL:
            continue
        ev.append((0, 0, mido.Message('program_change', channel=ch, program=prog)))
        ev += [(0, 0, mido.Message('control_change', channel=ch, control=c, value=v))
               for c, v in ((101, 0), (100, 0), (6, 2), (38, 0), (101, 127), (100, 127))]
        if base:
            ev.append((0, 0, mido.Message('pitchwheel', channel=ch, pitch=base)))
    for ch, ccs in sorted((setup or {}).items()):
        ev += [(0, 0, mido.Message('control_change', channel=ch, control=c, value=v)) for c, v in sorted(ccs.items())]
    for c in controls:
        t = tick(c.time)
        if c.kind == 'cc':
            ev.append((t, 0, mido.Message('control_change', channel=c.channel, control=c.a, value=c.b)))
        elif c.channel != DRUM_CHANNEL:
            ev.append((t, 0, mido.Message('pitchwheel', channel=c.channel, pitch=max(-8192, min(8191, c.a + base)))))
    for n in notes:     # at one tick: controllers, then note-offs, then note-ons
        ev.append((n.on, 2, mido.Message('note_on', channel=n.channel, note=n.pitch, velocity=n.velocity)))
        ev.append((n.off, 1, mido.Message('note_off', channel=n.channel, note=n.pitch, velocity=0)))
    ev.sort(key=lambda e: (e[0], e[1]))
    track, last = mido.MidiTrack(), 0
    for t, _, msg in ev:
        track.append(msg.copy(time=t - last))
        last = t
    track.append(mido.MetaMessage('end_of_track', time=tick(RELEASE_TAIL_S)))
    mid = mido.MidiFile(ticks_per_beat=TICKS_PER_BEAT)
    mid.tracks.append(track)
    mid.save(path)
    return seconds(last) + RELEASE_TAIL_S
