#!/usr/bin/env bash
# window/screenshot.sh BUILD_DIR [OUT.png] - a picture of the window on the shipped example,
# taken on a virtual X display (xvfb-run). Default OUT.png: window/screenshot.png.
set -euo pipefail
build=$(cd "${1:?usage: window/screenshot.sh BUILD_DIR [OUT.png]}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
out=$(realpath -m "${2:-$here/screenshot.png}")
rm -f "$out"
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=$(mktemp -d)
    export XDG_RUNTIME_DIR
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
# The window saves its picture once its first run has filled the list, then closes itself.
PARTLIST_WINDOW_SNAPSHOT="$out" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$here/open-example" "$build"
test -s "$out"
echo "$out"
