#!/usr/bin/env bash
# Takes docs/screenshot.png: the editor with Thai text open, under Xvfb.
# Usage: tests/ui/screenshot.sh [build folder] [display number]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
display=:${2:-97}
Xvfb $display -screen 0 640x480x24 -nolisten tcp & xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
sleep 1
DISPLAY=$display QT_QPA_PLATFORM=xcb "$build/tests/ui/tavolin_screenshot_window" & app=$!
sleep 2
DISPLAY=$display import -window root /tmp/tavolin-screen.png
kill $app
# No window manager: the window sits frameless on a black screen; keep the window.
convert /tmp/tavolin-screen.png -trim +repage docs/screenshot.png
rm -f /tmp/tavolin-screen.png
echo "wrote docs/screenshot.png"
