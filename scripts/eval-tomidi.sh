#!/bin/bash
# Scores korvane-tomidi, Basic Pitch and aubionotes side by side on evaluation
# corpora: runs each tool on every piece with the harness's run_all.sh (one
# piece at a time), then prints one table per corpus with each piece type's
# onset F1 at 50 ms for every tool (and korvane's precision and recall), the
# mean over the pieces of the types not starting with v_, and each tool's
# speed (scripts/eval_tables.py).
#
# usage: scripts/eval-tomidi.sh [--tools LIST] [--out DIR] [--reuse DIR]...
#                               [--eval DIR] [[LABEL=]CORPUSDIR ...]
#   CORPUSDIR     a make_corpus.py folder: manifest.csv (id,type,duration_s,...;
#                 more columns may follow), ID.mp3 and ID.csv for every piece.
#                 LABEL names its runs (default: the folder's name).
#                 Default: public=EVALDIR/../eval-corpus.
#   --tools LIST  comma-separated, from korvane, basicpitch, aubio; the table's
#                 columns follow this order (default: korvane,basicpitch,aubio)
#   --out DIR     each run goes to DIR/TOOL-LABEL: estimates, scores.jsonl,
#                 log.txt, table.txt (run_all.sh's per-piece table), stderr.txt
#                 (its messages, e.g. a piece's exit status) and run.stamp
#                 (default: a new temporary folder)
#   --reuse DIR   instead of running a tool, copy an earlier run of it from DIR
#                 or a folder inside DIR whose run.stamp shows the same tool
#                 build (executable and libraries, or Basic Pitch's scripts,
#                 packages, node, ffmpeg and BP_* settings), the same corpus
#                 files and the same score.py, and no failed piece. May be
#                 given more than once; may be the --out folder.
#   --eval DIR    the harness (default: shared/eval beside this repository)
# Environment: KORVANE_TOMIDI (default: build/bin/korvane-tomidi; copied with
# its own libraries before the runs, so a rebuild meanwhile cannot mix two
# builds), BASICPITCH_HOME (where Basic Pitch's node_modules are; default:
# the harness's basicpitch folder when it has them, else
# ~/.cache/korvane-basicpitch), PIECE_TIMEOUT_S and BP_ONSET_THRESH,
# BP_FRAME_THRESH, BP_MIN_NOTE_LEN (passed to the harness).
# Installs the harness's Debian packages (setup.sh) and Basic Pitch
# (install.sh: npm packages and ffmpeg) when they are missing.
# Example: keep the slow Basic Pitch run and redo only korvane after a change:
#   scripts/eval-tomidi.sh --out runs
#   scripts/eval-tomidi.sh --out runs --reuse runs
# Exit status: 0; 1 when a tool failed on a piece (it scores 0 and the tables
# name it); 2 on wrong usage, a missing tool or an incomplete corpus.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)

die() { echo "eval-tomidi.sh: $*" >&2; exit 2; }

tools=korvane,basicpitch,aubio
out="" eval_dir="$root/../shared/eval"
reuse=() corpora=()
while [ $# -gt 0 ]; do
  case "$1" in
    --tools) [ $# -ge 2 ] || die "--tools needs a list"; tools=$2; shift 2 ;;
    --out) [ $# -ge 2 ] || die "--out needs a folder"; out=$2; shift 2 ;;
    --reuse) [ $# -ge 2 ] || die "--reuse needs a folder"; [ -d "$2" ] || die "--reuse $2: no such folder"
      reuse+=("$(cd "$2" && pwd)"); shift 2 ;;
    --eval) [ $# -ge 2 ] || die "--eval needs a folder"; eval_dir=$2; shift 2 ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) die "unknown option $1 (see --help)" ;;
    *) corpora+=("$1"); shift ;;
  esac
done

[ -f "$eval_dir/run_all.sh" ] && [ -f "$eval_dir/score.py" ] || die "$eval_dir: not the evaluation harness (no run_all.sh, score.py)"
eval_dir=$(cd "$eval_dir" && pwd)
[ ${#corpora[@]} -gt 0 ] || corpora=("public=$eval_dir/../eval-corpus")

IFS=, read -r -a tool_list <<< "$tools"
[ ${#tool_list[@]} -gt 0 ] || die "--tools is empty"
for t in "${tool_list[@]}"; do
  case "$t" in korvane|basicpitch|aubio) ;; *) die "unknown tool '$t' (korvane, basicpitch, aubio)" ;; esac
done
[ "$(printf '%s\n' "${tool_list[@]}" | sort | uniq -d)" = "" ] || die "--tools names a tool twice"
uses() { case ",$tools," in *",$1,"*) return 0 ;; *) return 1 ;; esac; }

# Every corpus is checked whole before anything runs: a folder still being
# generated would otherwise give a table over fewer pieces.
labels=() dirs=()
for c in "${corpora[@]}"; do
  case "$c" in *=*) label=${c%%=*} dir=${c#*=} ;; *) label="" dir=$c ;; esac
  [ -f "$dir/manifest.csv" ] || die "$dir: no manifest.csv (not an evaluation corpus)"
  dir=$(cd "$dir" && pwd)
  label=${label:-$(basename "$dir")}
  case "$label" in ''|*/*|*' '*) die "corpus label '$label' must be a plain name" ;; esac
  for l in "${labels[@]+"${labels[@]}"}"; do [ "$l" != "$label" ] || die "two corpora named $label: give LABEL=DIR"; done
  ids=$(tail -n +2 "$dir/manifest.csv" | cut -d, -f1)
  [ -n "$ids" ] || die "$dir/manifest.csv lists no pieces"
  for id in $ids; do
    [ -f "$dir/$id.mp3" ] && [ -f "$dir/$id.csv" ] || die "$dir: $id.mp3 or $id.csv is missing (corpus incomplete)"
  done
  labels+=("$label") dirs+=("$dir")
done

sh "$eval_dir/setup.sh" || die "$eval_dir/setup.sh could not install the harness's packages"
/usr/bin/python3 -c 'import mido, mir_eval, numpy' || die "the harness's python modules are missing after setup.sh"

if [ -z "$out" ]; then out=$(mktemp -d /tmp/eval-tomidi.XXXXXX); fi
mkdir -p "$out"
out=$(cd "$out" && pwd)

# Fingerprints: sha256 over what decides a tool's output.  An executable's
# fingerprint covers the contents of the libraries it loads (a decoder update
# changes notes), not where they are: a copy elsewhere is the same build.
sha() { sha256sum | cut -c1-64; }
libraries() { { ldd "$1" 2>/dev/null || true; } | awk '/=> \// { print $1, $3 }'; }   # soname path
exe_fingerprint() {
  { sha256sum < "$1"; libraries "$1" | awk '{ print $2 }' | xargs -r sha256sum | cut -c1-64 | sort -u; } | sha
}

declare -A build_fp=()
if uses korvane; then
  src=${KORVANE_TOMIDI:-$root/build/bin/korvane-tomidi}
  [ -x "$src" ] || die "no korvane-tomidi at $src (build it, or set KORVANE_TOMIDI)"
  missing=$({ ldd "$src" 2>/dev/null || true; } | grep 'not found' | head -1 || true)
  [ -z "$missing" ] || die "$src cannot start: $missing"
  # The copy runs with its own libraries beside it (its RUNPATH starts with
  # $ORIGIN), so a rebuild in the build folder cannot change it mid-run.
  snap="$out/.korvane-tomidi"
  rm -rf "$snap" && mkdir -p "$snap"
  cp -L "$src" "$snap/korvane-tomidi"
  libraries "$src" | while read -r soname path; do
    case "$path" in /lib/*|/usr/*) ;; *) cp -L "$path" "$snap/$soname" ;; esac
  done
  build_fp[korvane]=$(exe_fingerprint "$snap/korvane-tomidi")
  export KORVANE_TOMIDI="$snap/korvane-tomidi"
fi
if uses basicpitch; then
  if [ -z "${BASICPITCH_HOME:-}" ] && [ ! -d "$eval_dir/basicpitch/node_modules/@spotify/basic-pitch" ]; then
    export BASICPITCH_HOME="${XDG_CACHE_HOME:-$HOME/.cache}/korvane-basicpitch"
  fi
  bp_home=${BASICPITCH_HOME:-$eval_dir/basicpitch}
  if [ ! -d "$bp_home/node_modules/@spotify/basic-pitch" ] || ! command -v ffmpeg >/dev/null; then
    command -v npm >/dev/null && command -v node >/dev/null \
      || die "Basic Pitch needs node and npm (apt-get install nodejs npm)"
    echo "installing Basic Pitch into $bp_home"
    sh "$eval_dir/basicpitch/install.sh" > "$out/basicpitch-install.log" 2>&1 \
      || { tail -20 "$out/basicpitch-install.log" >&2; die "Basic Pitch did not install (log: $out/basicpitch-install.log)"; }
  fi
  [ -d "$bp_home/node_modules/@spotify/basic-pitch" ] || die "Basic Pitch is missing from $bp_home after install.sh"
  command -v ffmpeg >/dev/null || die "Basic Pitch needs ffmpeg"
  build_fp[basicpitch]=$({ sha256sum "$eval_dir"/basicpitch/{transcribe.sh,transcribe.js,package-lock.json} | cut -c1-64
    cat "$bp_home"/node_modules/@spotify/basic-pitch/package.json "$bp_home"/node_modules/@tensorflow/tfjs/package.json 2>/dev/null
    node --version; ffmpeg -version | head -1
    echo "onset=${BP_ONSET_THRESH:-} frame=${BP_FRAME_THRESH:-} len=${BP_MIN_NOTE_LEN:-} backend=${BP_BACKEND:-}"; } | sha)
fi
if uses aubio; then
  command -v aubionotes >/dev/null || die "aubionotes is missing (aubio-tools) after $eval_dir/setup.sh"
  build_fp[aubio]=$({ exe_fingerprint "$(command -v aubionotes)"; sha256sum "$eval_dir/run_aubio.sh" | cut -c1-64; } | sha)
fi
scorer_fp=$(sha256sum "$eval_dir/score.py" | cut -c1-64)

# A hash of the manifest and of every piece's files; fails when one is gone.
corpus_fingerprint() {
  local id
  { cat "$1/manifest.csv" && for id in $(tail -n +2 "$1/manifest.csv" | cut -d, -f1); do
      sha256sum < "$1/$id.mp3" && sha256sum < "$1/$id.csv" || return 1; done; } 2>/dev/null | sha
}
stamp_value() { sed -n "s/^$2=//p" "$1" 2>/dev/null | head -1; }

# Prints the folder of an earlier run that can stand for this one, if any,
# and says on stderr why a run of the same tool on the same corpus cannot.
find_reusable() {
  local tool=$1 tool_fp=$2 corpus_fp=$3 base cand s
  for base in "${reuse[@]+"${reuse[@]}"}"; do
    for cand in "$base" "$base"/*/; do
      cand=${cand%/}; s="$cand/run.stamp"
      [ -f "$s" ] && [ "$(stamp_value "$s" tool)" = "$tool" ] \
        && [ "$(stamp_value "$s" corpus)" = "$corpus_fp" ] || continue
      if [ "$(stamp_value "$s" build)" != "$tool_fp" ]; then echo "  not reusing $cand: $tool changed since" >&2
      elif [ "$(stamp_value "$s" scorer)" != "$scorer_fp" ]; then echo "  not reusing $cand: score.py changed since" >&2
      elif [ "$(stamp_value "$s" failed)" != 0 ]; then echo "  not reusing $cand: it failed on some pieces" >&2
      else echo "$cand"; return 0
      fi
    done
  done
  return 0
}

status=0
started=$(date +%s)
for i in "${!labels[@]}"; do
  label=${labels[$i]} dir=${dirs[$i]}
  corpus_fp=$(corpus_fingerprint "$dir") || die "$dir: a piece's files went missing"
  n=$(tail -n +2 "$dir/manifest.csv" | grep -c .)
  table_args=()
  for tool in "${tool_list[@]}"; do
    run="$out/$tool-$label"
    prev=$(find_reusable "$tool" "${build_fp[$tool]}" "$corpus_fp")
    if [ -n "$prev" ]; then
      echo "$tool on $label: reusing $prev (same build, corpus and scorer; run $(stamp_value "$prev/run.stamp" finished))"
      if [ ! "$prev" -ef "$run" ]; then
        rm -rf "$run" && mkdir -p "$run" && cp -a "$prev"/. "$run"/
      fi
    else
      echo "$tool on $label: running on $n pieces into $run"
      mkdir -p "$run"
      rm -f "$run/run.stamp" "$run/stderr.txt"
      t0=$(date +%s)
      # From inside the run folder: korvane-tomidi reads korvane.ini from the
      # current folder, and settings left there must not change the scores.
      (cd "$run" && "$eval_dir/run_all.sh" "$tool" "$dir" "$run") > "$run/table.txt" 2> "$run/stderr.txt" \
        || { cat "$run/stderr.txt" >&2; die "run_all.sh $tool failed on $dir (see $run)"; }
      [ -s "$run/stderr.txt" ] && cat "$run/stderr.txt" >&2
      # A corpus rewritten meanwhile (one being generated) mixes two sets of
      # pieces: such a run gets no stamp, so it is never reused or trusted.
      now=$(corpus_fingerprint "$dir") || now=gone
      [ "$now" = "$corpus_fp" ] || die "$dir changed during the $tool run; run again once it is complete"
      scored=$(grep -c . "$run/scores.jsonl" || true)
      failed=$(( $(grep -c 'exited with status' "$run/stderr.txt" || true) + $(grep -c '"error"' "$run/scores.jsonl" || true) + n - scored ))
      echo "  $(( $(date +%s) - t0 )) s; per-piece table in $run/table.txt"
      { echo "tool=$tool"; echo "build=${build_fp[$tool]}"; echo "corpus=$corpus_fp"; echo "scorer=$scorer_fp"
        echo "failed=$failed"; echo "corpus_dir=$dir"; echo "finished=$(date '+%Y-%m-%d %H:%M')"; } > "$run/run.stamp.new"
      mv "$run/run.stamp.new" "$run/run.stamp"
    fi
    table_args+=("$tool=$run")
  done
  echo
  /usr/bin/python3 "$here/eval_tables.py" "$label" "$dir" "${table_args[@]}" || status=1
  echo
done
echo "runs in $out; $(( $(date +%s) - started )) s in all"
exit $status
