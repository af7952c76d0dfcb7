#!/usr/bin/env bash
# Builds the editor and starts it, installing missing Debian packages first.
# Without a display it says how to run it under xvfb-run.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
tavolin_install_deps

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
mkdir -p build/examples
scripts/make-example.sh build/examples/example.rsc

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<MSG
No display found. To run the editor on a virtual one:
    xvfb-run -a -s "-screen 0 1024x768x24" build/src/app/Tavolin
An example file to open: build/examples/example.rsc
MSG
    exit 1
fi
exec build/src/app/Tavolin
