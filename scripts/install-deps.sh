#!/bin/sh
# Installs every Debian package korvane needs to build, run, test and
# package (dpkg-dev and lintian build and check the package,
# desktop-file-utils and man-db check the menu entry and manual pages,
# libgtk-3-bin brings gtk-launch, which starts korvane as a menu does;
# dbus-daemon, dbus-bin and playerctl give the media-key test a private
# session bus and the desktop's MPRIS client; the Python packages,
# synthesizers and sound banks are those of the converter's data generator
# and note-model training, whose tests run with the rest).
# Idempotent: packages already present are not touched, so a second run costs
# one dpkg query. Runs apt-get through sudo when not root.
set -eu

packages="
  build-essential g++ clang libclang-rt-14-dev cmake ninja-build pkg-config git
  libmad0-dev libsdl2-dev zlib1g-dev libasound2-dev librtmidi-dev libfluidsynth-dev libsystemd-dev
  fluid-soundfont-gm timgm6mb-soundfont
  libgtest-dev libgmock-dev libbenchmark-dev
  zenity xfonts-base xvfb xauth xdotool x11-utils imagemagick lame twolame sox
  dbus-daemon dbus-bin playerctl
  dpkg-dev lintian desktop-file-utils man-db libgtk-3-bin
  python3 python3-numpy python3-scipy python3-soundfile python3-mido python3-aubio python3-torch
  fluidsynth timidity freepats opl3-soundfont csound-soundfont
"

missing=""
for p in $packages; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  case "$status" in
    *"install ok installed"*) ;;
    *) missing="$missing $p" ;;
  esac
done

[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
echo "installing:$missing"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# shellcheck disable=SC2086
$sudo apt-get install -y -qq --no-install-recommends $missing
