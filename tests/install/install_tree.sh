#!/bin/sh
# korvane installed as `cmake --install` installs it, into a temporary
# DESTDIR: a tree built for PREFIX but lying elsewhere, as a moved tree does;
# and with a prefix given at install time.
# The installed converter converts the demo track; the installed player
# plays it in a real window under a virtual X server, from another working
# folder, with its plug-out from the installed plug-out folder; the C
# example builds against the installed header and library through
# pkg-config and plays; the menu entry validates and both manual pages
# render.
# Usage: install_tree.sh SOURCE BUILD BINDIR LIBDIR DATADIR MANDIR, the
# last four absolute as configured. Exit 77 (skipped) without the tools.
set -eu
source=$1
build=$2
bindir=$3
libdir=$4
datadir=$5
mandir=$6

for tool in cc pkg-config man desktop-file-validate sox lame; do
  command -v "$tool" > /dev/null || { echo "skipped: $tool is missing"; exit 77; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root

fail() {
  echo "FAIL: $*"
  exit 1
}

DESTDIR=$root cmake --install "$build" > "$work/install.log" 2>&1 || { cat "$work/install.log"; fail "cmake --install"; }
for file in "$bindir/korvane" "$bindir/korvane-tomidi" "$libdir/libkorvane-engine.so.0" \
    "$libdir/korvane/plug-sdl.so" "$libdir/korvane/plug-alsa.so" "$libdir/pkgconfig/korvane-engine.pc" \
    "$datadir/applications/korvane.desktop" "$datadir/icons/hicolor/scalable/apps/korvane.svg" \
    "$mandir/man1/korvane.1.gz" "$mandir/man1/korvane-tomidi.1.gz"; do
  [ -e "$root$file" ] || fail "$file is not installed"
done
[ ! -e "$root$bindir/plug-sdl.so" ] || fail "a plug-out is installed beside the programs"

# Installed with another prefix, the pkg-config file names that one.
cmake --install "$build" --prefix "$work/prefix" > "$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "cmake --install --prefix"; }
pc=$(find "$work/prefix" -name korvane-engine.pc)
prefix=$(PKG_CONFIG_PATH=${pc%/*} pkg-config --variable=prefix korvane-engine)
[ "$prefix" = "$work/prefix" ] || fail "korvane-engine.pc installed in $work/prefix names the prefix $prefix"

"$source/scripts/make-demo-track.sh" "$work/demo.mp3"

# The converter: the demo track's notes as MIDI and as CSV.
mkdir "$work/convert"
(cd "$work/convert" && "$root$bindir/korvane-tomidi" -q -o demo.mid --notes demo.csv "$work/demo.mp3") ||
  fail "korvane-tomidi exited with $?"
[ "$(head -c 4 "$work/convert/demo.mid")" = MThd ] || fail "demo.mid is not a MIDI file"
notes=$(($(wc -l < "$work/convert/demo.csv") - 1))
[ "$notes" -ge 20 ] || fail "korvane-tomidi found $notes notes in the demo track"

# The C example against the installed engine only: the sysroot puts the
# DESTDIR before the paths of the pkg-config file.
export PKG_CONFIG_SYSROOT_DIR="$root" PKG_CONFIG_PATH="$root$libdir/pkgconfig"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror "$source/tools/fbs_play.c" $(pkg-config --cflags --libs korvane-engine) \
  -o "$work/fbs-play" || fail "fbs_play.c does not build against the installed engine"
plugouts=$(pkg-config --variable=plugoutdir korvane-engine)
[ "$plugouts" = "$root$libdir/korvane" ] || fail "plugoutdir is $plugouts"
LD_LIBRARY_PATH="$root$libdir" SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null \
  "$work/fbs-play" "$work/demo.mp3" 1 "$plugouts" > "$work/fbs-play.log" 2>&1 ||
  { cat "$work/fbs-play.log"; fail "fbs-play exited with $?"; }
grep -q "^played" "$work/fbs-play.log" || { cat "$work/fbs-play.log"; fail "fbs-play did not play"; }

desktop-file-validate "$root$datadir/applications/korvane.desktop" || fail "the menu entry is not valid"
for page in korvane korvane-tomidi; do
  LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root$mandir/man1/$page.1.gz" > "$work/$page.txt" 2> "$work/$page.err" ||
    fail "man -l $page.1.gz exited with $?"
  [ ! -s "$work/$page.err" ] || { cat "$work/$page.err"; fail "$page.1 has formatting warnings"; }
  grep -q "EXIT STATUS" "$work/$page.txt" || fail "$page.1 renders without its sections"
done

# The player, last, its window showing the installed 64 x 64 icon: without
# the X tools it skips, and so does this test.
status=0
sh "$source/tests/app/shell_xvfb.sh" "$root$bindir/korvane" "$work/demo.mp3" \
  "$root$datadir/icons/hicolor/64x64/apps/korvane.png" > "$work/player.log" 2>&1 || status=$?
cat "$work/player.log"
[ "$status" = 0 ] || exit "$status"
grep -q "^plug-out: $root$libdir/korvane/plug-" "$work/player.log" ||
  fail "the installed player did not load its plug-out from $root$libdir/korvane"
echo "ok: installed tree converts ($notes notes), plays, builds the C example; entry and pages valid"
