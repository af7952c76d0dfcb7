#!/usr/bin/env bash
# Builds everything and runs every test: the whole project, then the core
# again under AddressSanitizer and UndefinedBehaviorSanitizer (with clang),
# then each fuzz target for a few seconds. Installs missing
# Debian packages first. GUI tests run on Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
tavolin_install_deps

jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVOLIN_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTAVOLIN_SANITIZE=ON -DTAVOLIN_WERROR=ON \
    -DCMAKE_CXX_COMPILER=clang++ -DTAVOLIN_FUZZ=ON -DTAVOLIN_BUILD_TESTS=ON -DTAVOLIN_BUILD_UI=OFF \
    -DTAVOLIN_BUILD_BENCH=OFF >/dev/null
cmake --build build-sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp" \
    ctest --test-dir build-sanitize --output-on-failure -j"$jobs"

# A short run of every fuzz target in the same build.
scripts/fuzz 10
