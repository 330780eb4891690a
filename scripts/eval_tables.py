#!/usr/bin/python3
"""Prints one table that compares transcription runs on one evaluation corpus.

usage: eval_tables.py LABEL CORPUSDIR TOOL=RUNDIR [TOOL=RUNDIR ...]

CORPUSDIR holds manifest.csv (id, type, duration_s, then any other columns).
RUNDIR is what the harness's run_all.sh wrote for TOOL on that corpus:
scores.jsonl (one score.py line per piece, with wall_s), plus stderr.txt
(run_all.sh's messages: "ID: TOOL exited with status N") and run.stamp when
eval-tomidi.sh made it.

One row per piece type: the mean onset F1 at 50 ms of every tool, and the
mean precision and recall of korvane when it is among the tools.  The "mean"
row averages the pieces of every type that does not start with "v_" (the
resampled and mono copies of other pieces), as run_all.sh does, so it can be
set beside the harness's baseline files; when the types hold different
numbers of pieces a "type mean" row gives the mean of the type means too.
The last row is each tool's speed: its pieces' audio seconds over its wall
seconds ("x real time").

A piece that a tool failed on (non-zero exit, no or unreadable estimate, no
score line) scores 0 and is listed under the table, and the exit status is
then 1, so a broken run never passes for a weak one.
"""
import csv
import json
import os
import re
import sys
from collections import defaultdict

DETAIL_TOOL = 'korvane'      # the tool under development: its P and R are shown too
EXIT_LINE = re.compile(r'^(\S+): \S+ exited with status (\d+)')


def read_manifest(corpus):
    with open(os.path.join(corpus, 'manifest.csv'), newline='') as f:
        rows = list(csv.DictReader(f))
    for column in ('id', 'type', 'duration_s'):
        if rows and column not in rows[0]:
            raise ValueError(f'{corpus}/manifest.csv has no {column} column')
    return [dict(id=r['id'], type=r['type'], duration_s=float(r['duration_s'])) for r in rows]


def read_run(rundir):
    """Scores by piece, reasons for failed pieces by piece, and the stamp's fields."""
    scores, failed = {}, {}
    with open(os.path.join(rundir, 'scores.jsonl')) as f:
        for line in f:
            if line.strip():
                row = json.loads(line)
                scores[row['piece']] = row
                if 'error' in row:
                    failed[row['piece']] = 'estimate: ' + row['error']
    failed_path = os.path.join(rundir, 'stderr.txt')
    if os.path.exists(failed_path):
        with open(failed_path) as f:
            for m in filter(None, map(EXIT_LINE.match, f)):
                failed.setdefault(m.group(1), f'exit status {m.group(2)}')
    stamp = {}
    stamp_path = os.path.join(rundir, 'run.stamp')
    if os.path.exists(stamp_path):
        with open(stamp_path) as f:
            stamp = dict(line.rstrip('\n').split('=', 1) for line in f if '=' in line)
    return scores, failed, stamp


def summarize(manifest, scores, failed):
    """Per-type means and speed of one tool; a piece without a score line counts as failed, 0."""
    failed = dict(failed)
    by_type = defaultdict(list)
    audio = wall = 0.0
    for piece in manifest:
        row = scores.get(piece['id'])
        if row is None:
            failed.setdefault(piece['id'], 'no score line')
            row = dict(P=0.0, R=0.0, F1_50=0.0)
        else:
            audio += piece['duration_s']
            wall += float(row.get('wall_s', 0.0))
        by_type[piece['type']].append(row)
    means = {t: {k: sum(r[k] for r in rows) / len(rows) for k in ('P', 'R', 'F1_50')}
             for t, rows in by_type.items()}
    main_rows = [r for t, rows in by_type.items() if not t.startswith('v_') for r in rows]
    main_types = [t for t in by_type if not t.startswith('v_')]
    return dict(
        types={t: len(rows) for t, rows in by_type.items()},
        means=means,
        mean=sum(r['F1_50'] for r in main_rows) / len(main_rows) if main_rows else None,
        mean_P=sum(r['P'] for r in main_rows) / len(main_rows) if main_rows else None,
        mean_R=sum(r['R'] for r in main_rows) / len(main_rows) if main_rows else None,
        type_mean=sum(means[t]['F1_50'] for t in main_types) / len(main_types) if main_types else None,
        n_main=len(main_rows), audio=audio, wall=wall,
        speed=audio / wall if wall > 0 else None,
        failed=failed)


def fmt(value, width, spec='.3f'):
    return f'{"-":>{width}}' if value is None else f'{value:>{width}{spec}}'


def table(label, corpus, manifest, tools, summaries):
    """The table as text; tools in the order given, korvane's P and R after its F1."""
    cols = []                                   # (header, width, getter)
    for tool in tools:
        w = max(8, len(tool))
        cols.append((tool, w, tool, 'F1_50'))
        if tool == DETAIL_TOOL:
            cols += [('P', 6, tool, 'P'), ('R', 6, tool, 'R')]
    first = summaries[tools[0]]
    types = sorted(first['types'])
    lines = [f'== {label}: {corpus} ({len(manifest)} pieces; onset F1 at 50 ms)',
             f'{"type":<14} {"pieces":>6} ' + ' '.join(f'{h:>{w}}' for h, w, _, _ in cols)]
    for t in types:
        lines.append(f'{t:<14} {first["types"][t]:>6} '
                     + ' '.join(fmt(summaries[tool]['means'][t][k], w) for _, w, tool, k in cols))
    mean_key = {'F1_50': 'mean', 'P': 'mean_P', 'R': 'mean_R'}
    lines.append(f'{"mean":<14} {first["n_main"]:>6} '
                 + ' '.join(fmt(summaries[tool][mean_key[k]], w) for _, w, tool, k in cols)
                 + '   (types v_* excluded)')
    main_counts = {n for t, n in first['types'].items() if not t.startswith('v_')}
    if len(main_counts) > 1:
        lines.append(f'{"type mean":<14} {"":>6} '
                     + ' '.join(fmt(summaries[tool]['type_mean'], w) if k == 'F1_50' else f'{"":>{w}}'
                                for _, w, tool, k in cols)
                     + '   (mean of the type means above)')
    lines.append(f'{"x real time":<14} {"":>6} '
                 + ' '.join(fmt(summaries[tool]['speed'], w, '.1f') if k == 'F1_50' else f'{"":>{w}}'
                            for _, w, tool, k in cols))
    for tool in tools:
        s = summaries[tool]
        line = f'{tool}: {s["audio"]:.1f} s of audio in {s["wall"]:.1f} s wall'
        if s['speed'] is not None:
            line += f' = {s["speed"]:.1f}x real time'
        if s.get('finished'):
            line += f' (run {s["finished"]})'
        lines.append(line)
    for tool in tools:
        failed = summaries[tool]['failed']
        if failed:
            lines.append(f'{tool} FAILED on {len(failed)} of {len(manifest)} pieces (scored 0): '
                         + ', '.join(f'{p} ({why})' for p, why in sorted(failed.items())))
    return '\n'.join(lines)


def main(argv):
    if len(argv) < 3 or any('=' not in a for a in argv[2:]):
        print(__doc__.split('\n\n')[1], file=sys.stderr)
        return 2
    label, corpus = argv[0], argv[1]
    manifest = read_manifest(corpus)
    if not manifest:
        print(f'{corpus}/manifest.csv lists no pieces', file=sys.stderr)
        return 2
    tools, summaries = [], {}
    for arg in argv[2:]:
        tool, rundir = arg.split('=', 1)
        scores, failed, stamp = read_run(rundir)
        tools.append(tool)
        summaries[tool] = summarize(manifest, scores, failed)
        summaries[tool]['finished'] = stamp.get('finished')
    print(table(label, corpus, manifest, tools, summaries))
    return 1 if any(s['failed'] for s in summaries.values()) else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
