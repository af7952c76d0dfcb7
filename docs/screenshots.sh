#!/usr/bin/env bash
# Takes the user guide's pictures under Xvfb with openbox as window manager:
# the editor started as `Tavolin FILE` on the example file, and started on a
# missing file. Usage: docs/screenshots.sh [build folder] [display number]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
display=:${2:-96}
tmp=$(mktemp -d)
Xvfb $display -screen 0 800x600x24 -nolisten tcp & xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$tmp"' EXIT
sleep 1
export DISPLAY=$display QT_QPA_PLATFORM=xcb
openbox & wm=$!
sleep 1
scripts/make-example.sh "$tmp/example.rsc"

shoot() { # shoot OUT ARGS...: start the editor with ARGS, photograph the screen
    local out=$1; shift
    "$build/src/app/Tavolin" "$@" & local app=$!
    sleep 2
    import -window root "$tmp/screen.png"
    kill $app
    wait $app 2>/dev/null || true
    convert "$tmp/screen.png" -trim +repage "$out"
    echo "wrote $out"
}
shoot docs/guide-open.png "$tmp/example.rsc"
shoot docs/guide-not-found.png "$tmp/missing.rsc"
kill $wm
