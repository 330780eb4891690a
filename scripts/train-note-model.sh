#!/bin/sh
# Trains the converter's note model from scratch and writes its C++ weight table.
#
# usage: scripts/train-note-model.sh [WORK_DIR]      (default: build-notemodel)
#
# 1. makes the training corpus with scripts/make-devset.sh --train (never the dev set or the
#    public corpus, which only measure the result),
# 2. computes its features with korvane-features ($KORVANE_FEATURES, default
#    build/bin/korvane-features),
# 3. trains the model (scripts/notemodel/train.py, seeded: a rerun gives the same weights up to
#    floating-point noise) into WORK_DIR/note-model.pt,
# 4. writes tools/converter/analysis/note_model_weights.inc,
# 5. prints the onset F1 on the evaluation corpora ($EVAL_CORPORA, default the public corpus
#    ../shared/eval-corpus and the dev set ../devset, where present).
# Settings: TRAIN_COUNT (pieces per type, default: the generator's --train default),
# NOTEMODEL_STEPS (default 3000: about 27 minutes on one thread), NOTEMODEL_SEED (default 2),
# NOTEMODEL_THREADS (default 1: PyTorch sums in another order on more threads, and the training
# then takes another path). The defaults are the committed weights' settings; TiMidity++ does not
# render bit for bit alike, so a rerun gives weights within the seeds' noise, not the same bytes.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
work=$(mkdir -p "${1:-$repo/build-notemodel}" && cd "${1:-$repo/build-notemodel}" && pwd)
tool=${KORVANE_FEATURES:-$repo/build/bin/korvane-features}
python=/usr/bin/python3
notemodel=$repo/scripts/notemodel
weights=$repo/tools/converter/analysis/note_model_weights.inc

[ -x "$tool" ] || { echo "train-note-model.sh: no korvane-features at $tool (build it or set KORVANE_FEATURES)" >&2; exit 1; }
[ -x "$repo/scripts/make-devset.sh" ] || { echo "train-note-model.sh: scripts/make-devset.sh is missing" >&2; exit 1; }

stage() { echo "== $1 ($(date +%H:%M:%S))"; }
started=$(date +%s)

stage "training corpus"
rm -rf "$work/corpus" "$work/features"
"$repo/scripts/make-devset.sh" "$work/corpus" --train ${TRAIN_COUNT:+--count "$TRAIN_COUNT"}
[ -s "$work/corpus/manifest.csv" ] || { echo "train-note-model.sh: the generator wrote no manifest" >&2; exit 1; }

stage "features"
"$python" "$notemodel/features.py" "$work/corpus" "$work/features" "$tool"

stage "training"
"$python" "$notemodel/train.py" "$work/corpus" "$work/features" "$work/note-model.pt" \
  --steps "${NOTEMODEL_STEPS:-3000}" --seed "${NOTEMODEL_SEED:-2}" --threads "${NOTEMODEL_THREADS:-1}"

stage "export"
"$python" "$notemodel/export.py" "$work/note-model.pt" "$weights"

set --
parent=$(cd "$repo/.." && pwd)
for corpus in ${EVAL_CORPORA:-$parent/shared/eval-corpus $parent/devset}; do
  [ -s "$corpus/manifest.csv" ] && set -- "$@" "$corpus" "$work/eval-features/$(basename "$corpus")"
done
if [ $# -gt 0 ]; then
  stage "evaluation"
  "$python" "$notemodel/evaluate.py" "$work/note-model.pt" "$@" --tool "$tool"
fi
echo "== done in $(( ($(date +%s) - started) / 60 )) min: $weights"
