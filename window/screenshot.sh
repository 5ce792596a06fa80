#!/usr/bin/env bash
# window/screenshot.sh BUILD_DIR [OUT.png] - a picture of the window on the shipped example,
# taken on a virtual X display (xvfb-run). Default OUT.png: window/screenshot.png.
#
# The example is copied to a neutral scratch folder, so the project field shows no path of the
# machine that took the picture.
set -euo pipefail
build=$(cd "${1:?usage: window/screenshot.sh BUILD_DIR [OUT.png]}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
out=$(realpath -m "${2:-$here/screenshot.png}")
rm -f "$out"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$scratch/runtime}
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
work=/tmp/example
if [ -e "$work" ]; then work="$scratch/example"; fi
cp -r "$here/../examples/amp" "$work"
trap 'rm -rf "$scratch" "$work"' EXIT
printf '[VANTRELL]\nBillOfMaterialsPath=%s\n' "$work" >"$work/vantrell.ini"
# The launcher saves the window's picture once its first run has filled the list, then closes it.
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/apps/partlist-window" --profile "$work/vantrell.ini" --snapshot "$out" "$work/top.sch"
test -s "$out"
echo "$out"
