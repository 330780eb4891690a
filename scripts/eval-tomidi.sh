#!/bin/sh
# Scores korvane-tomidi against the aubionotes baseline on an evaluation
# corpus, in one run: converts every piece with both tools, scores them with
# the harness's score.py and prints the harness's tables, then one table of
# onset F1 at 50 ms per piece type for both tools and their speeds.
# usage: scripts/eval-tomidi.sh [EVALDIR [CORPUSDIR [OUTDIR]]]
#   EVALDIR    the harness (default ../shared/eval beside this repository)
#   CORPUSDIR  the corpus (default EVALDIR/../eval-corpus)
# Needs a built korvane-tomidi in build/bin (KORVANE_TOMIDI overrides it).
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
eval=$(cd "${1:-$root/../shared/eval}" && pwd)
corpus=$(cd "${2:-$eval/../eval-corpus}" && pwd)
out=${3:-$(mktemp -d)}
tool=${KORVANE_TOMIDI:-$root/build/bin/korvane-tomidi}
sh "$eval/setup.sh"
mkdir -p "$out/korvane" "$out/aubio"

echo "== korvane-tomidi"
KORVANE_TOMIDI=$tool "$eval/run_all.sh" korvane "$corpus" "$out/korvane" | tee "$out/korvane.txt"
echo
echo "== aubionotes"
"$eval/run_all.sh" aubio "$corpus" "$out/aubio" | tee "$out/aubio.txt"
echo
/usr/bin/python3 - "$corpus" "$out" <<'PY'
import csv, json, os, sys
from collections import defaultdict
corpus, out = sys.argv[1:]
kinds = {r['id']: r['type'] for r in csv.DictReader(open(os.path.join(corpus, 'manifest.csv')))}
length = {r['id']: float(r['duration_s']) for r in csv.DictReader(open(os.path.join(corpus, 'manifest.csv')))}
def scores(tool):
    return {r['piece']: r for r in map(json.loads, open(os.path.join(out, tool, 'scores.jsonl')))}
k, a = scores('korvane'), scores('aubio')
by = defaultdict(list)
for piece in k:
    by[kinds[piece]].append(piece)
mean = lambda pieces, s: sum(s[p]['F1_50'] for p in pieces) / len(pieces)
print(f"{'type':<12} {'pieces':>6} {'korvane':>8} {'aubio':>8}")
for kind in sorted(by):
    print(f"{kind:<12} {len(by[kind]):6d} {mean(by[kind], k):8.3f} {mean(by[kind], a):8.3f}")
main = [p for p in k if not kinds[p].startswith('v_')]
print(f"{'mean':<12} {len(main):6d} {mean(main, k):8.3f} {mean(main, a):8.3f}   (variants excluded)")
for name, s in (('korvane-tomidi', k), ('aubionotes', a)):
    audio = sum(length[p] for p in s)
    wall = sum(s[p]['wall_s'] for p in s)
    print(f"{name}: {audio:.1f} s of audio in {wall:.1f} s = {audio / wall:.1f}x real time")
PY
echo "estimates and scores in $out"
