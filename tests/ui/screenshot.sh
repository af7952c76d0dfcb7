#!/usr/bin/env bash
# Takes the README's pictures under Xvfb: docs/screenshot.png, the editor with
# a small file of Thai text read by markers, and docs/screenshot-resource.png,
# a real file of the corpus read by resource structure in three columns.
# Usage: tests/ui/screenshot.sh [build folder] [display number]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
display=:${2:-97}
Xvfb $display -screen 0 800x600x24 -nolisten tcp & xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
sleep 1

shoot() { # shoot OUT ARGS...: the window with ARGS, photographed
    local out=$1; shift
    DISPLAY=$display QT_QPA_PLATFORM=xcb "$build/tests/ui/tavolin_screenshot_window" "$@" & local app=$!
    sleep 2
    DISPLAY=$display import -window root /tmp/tavolin-screen.png
    kill $app
    wait $app 2>/dev/null || true
    # No window manager: the window sits frameless on a black screen; keep the window.
    convert /tmp/tavolin-screen.png -trim +repage "$out"
    rm -f /tmp/tavolin-screen.png
    echo "wrote $out"
}
shoot docs/screenshot.png
shoot docs/screenshot-resource.png --by-resource
