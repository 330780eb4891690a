"""Write a corpus of pieces with exactly known notes in the public evaluation corpus format.

usage: make_devset.py OUTDIR [--seed N] [--count N] [--train] [--jobs 1|2] [--keep-wav]

Per piece ID: ID.mp3, ID.mid, ID.csv (ground truth as it sounds) and one manifest.csv row.
The dev set (default) has --count pieces (default 2) of each type, 20-40 s, seed 1.  --train
draws from a separate seed space, so no training piece repeats a dev piece, with pieces of
30-60 s and by default about three and three quarter hours in total.  The same seed and count
give the same MIDI and CSV files.
"""
import argparse
import multiprocessing
import os
import random
import sys
import time
import traceback

import soundfile as sf

from . import alignment, classics, compositions, encoding, manifest, midifile, rendering
from .theory import DRUM_CHANNEL, clip_piece

TRAIN_COUNT = 30          # per type: 10 types x 30 pieces x ~45 s = about three and three quarter hours
RATES = [(44100, 0.7), (22050, 0.15), (48000, 0.15)]
MAX_JOBS = 2              # rendering processes at once, the machine's share for this tool


def weighted(rng, pairs):
    r, acc = rng.random(), 0.0
    for value, w in pairs:
        acc += w
        if r < acc:
            return value
    return pairs[-1][0]


def choose_source(type_, k, seed):
    """Sources rotate over the pieces of a type, and the rotation starts elsewhere for each
    type, so every type is rendered by several sources and every source plays several types."""
    if type_ in ('synth', 'tones'):
        return 'numpy-synth'     # these types exist for timbres only our synthesizer has
    others = rendering.SOURCES
    return others[(compositions.TYPES.index(type_) * 2 + k + seed) % len(others)]


def plan(seed, count, train):
    """One job per piece: everything random about it is drawn from its own seeded generator."""
    split, width = ('train', 3) if train else ('dev', 2)
    tunes = classics.TRAIN_TUNES if train else classics.DEV_TUNES
    jobs = []
    for type_ in compositions.TRAIN_TYPES if train else compositions.TYPES:
        for k in range(1, count + 1):
            rng_key = f'{split}/{seed}/{type_}/{k}'
            jobs.append(dict(pid=f'{type_}_{k:0{width}d}', type=type_, k=k, rng_key=rng_key,
                             tune=tunes.get(type_) if k == 1 else None, train=train,
                             source=choose_source(type_, k, seed)))
    return jobs


def compose(job):
    rng = random.Random(job['rng_key'])
    lo, hi = (30, 60) if job['train'] else (20, 40)
    # audio length; the release tail comes after the notes, and a generator stops at the last
    # whole bar (up to 4 s early), which the 4.5 s margin keeps above the lower bound
    target = rng.uniform(lo + 4.5, hi)
    length = target - midifile.RELEASE_TAIL_S - 0.3
    if job['tune']:
        piece = classics.arrange(job['tune'], job['type'], rng, length, job['train'])
    else:
        piece = compositions.GENERATORS[job['type']](rng, length)
    return clip_piece(piece, length), rng


def make_piece(job, outdir, keep_wav):
    piece, rng = compose(job)
    source = job['source']
    if source == 'timidity-freepats':
        piece.programs = rendering.freepats_compatible(piece.notes, piece.programs)
    # every random choice below comes from a second generator, so choosing a different
    # source or encoder never changes the notes
    arng = random.Random(job['rng_key'] + '/audio')
    detune = 0 if arng.random() < 0.75 else arng.choice((-1, 1)) * arng.randint(10, 45)
    rate = weighted(arng, RATES)
    channels = 1 if arng.random() < 0.2 else 2
    encoder = arng.choice(list(encoding.ENCODERS))
    peak = arng.uniform(-12, -1)
    setup = {ch: {91: arng.randint(0, 90), 93: arng.randint(0, 60), 7: 100, 10: arng.randint(24, 104)}
             for ch in piece.programs if ch != DRUM_CHANNEL}
    notes = midifile.tidy(piece.notes)
    truth = midifile.sounding(notes, piece.controls)
    base = os.path.join(outdir, job['pid'])
    duration = midifile.write_midi(base + '.mid', notes, piece.programs, piece.controls, detune, setup)
    midifile.write_csv(base + '.csv', truth)
    x = rendering.fit_length(rendering.render(source, base + '.mid', piece, truth, detune, duration, arng,
                                              arng.randrange(1 << 30)), duration)
    y = encoding.prepare(x, rendering.RENDER_RATE, rate, channels, peak)
    encoding.write_mp3(y, rate, base + '.mp3', encoder, base + '.wav' if keep_wav else None)
    decoded, dec_rate = sf.read(base + '.mp3', always_2d=True)
    lag, _ = alignment.onset_lag(decoded, dec_rate, [midifile.seconds(n.on) for n in truth])
    programs = {ch: p for ch, p in piece.programs.items() if ch != DRUM_CHANNEL}
    return manifest.row(job['pid'], job['type'], len(y) / rate, rate, channels, detune, programs, source,
                        encoder, peak, piece.title, lag)


def _worker(args):
    job, outdir, keep_wav = args
    t0 = time.time()
    try:
        return job['pid'], make_piece(job, outdir, keep_wav), None, time.time() - t0
    except Exception:
        return job['pid'], None, traceback.format_exc(), time.time() - t0


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument('outdir')
    ap.add_argument('--seed', type=int, default=1)
    ap.add_argument('--count', type=int, help=f'pieces per type (dev 2, --train {TRAIN_COUNT})')
    ap.add_argument('--train', action='store_true', help='training corpus: separate seeds, 30-60 s pieces')
    ap.add_argument('--jobs', type=int, default=MAX_JOBS, help=f'pieces rendered at once (1-{MAX_JOBS})')
    ap.add_argument('--keep-wav', action='store_true', help='keep the WAV that was encoded')
    a = ap.parse_args(argv)
    count = a.count if a.count is not None else (TRAIN_COUNT if a.train else 2)
    if count < 1:
        ap.error('--count must be at least 1')
    jobs_at_once = max(1, min(MAX_JOBS, a.jobs))
    os.makedirs(a.outdir, exist_ok=True)
    jobs = plan(a.seed, count, a.train)
    t0 = time.time()
    results, failures = {}, []
    with multiprocessing.get_context('fork').Pool(jobs_at_once, maxtasksperchild=20) as pool:
        for pid, row, err, secs in pool.imap_unordered(_worker, [(j, a.outdir, a.keep_wav) for j in jobs]):
            if err:
                failures.append((pid, err))
                print(f'{pid}: FAILED\n{err}', file=sys.stderr, flush=True)
            else:
                results[pid] = row
                print(f"{pid:<16} {row['source']:<20} {row['encoder']:<7} {row['rate']:>5} Hz x{row['channels']} "
                      f"{float(row['duration_s']):5.1f} s  lag {row['onset_lag_ms']:>6} ms  {secs:5.1f} s  {row['composition']}",
                      flush=True)
    rows = [results[j['pid']] for j in jobs if j['pid'] in results]
    manifest.write(os.path.join(a.outdir, 'manifest.csv'), rows)
    audio = sum(float(r['duration_s']) for r in rows)
    wall = time.time() - t0
    print(f'{len(rows)} pieces, {audio / 60:.1f} min of audio in {wall / 60:.1f} min '
          f'({audio / max(wall, 1e-9):.1f}x real time, {jobs_at_once} at once)')
    if failures:
        print(f'{len(failures)} pieces failed and are not in the manifest: ' + ', '.join(p for p, _ in failures),
              file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
