#!/usr/bin/env bash
# Builds everything and runs every test: the whole project and the static
# checks, then every test again under AddressSanitizer and
# UndefinedBehaviorSanitizer (with clang), then each fuzz target for a few
# seconds. Installs missing Debian packages first. GUI tests run on Qt's
# offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
tavolin_install_deps

jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVOLIN_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
scripts/lint.sh build

# Every test again, the editor's included, built by clang under
# AddressSanitizer and UndefinedBehaviorSanitizer, with the fuzz targets;
# leaks that belong to the system's libraries are listed, with the reason,
# in tests/lsan.supp.
cmake -S . -B build-sanitize -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug -DTAVOLIN_SANITIZE=ON \
    -DTAVOLIN_WERROR=ON -DTAVOLIN_FUZZ=ON -DTAVOLIN_BUILD_TESTS=ON -DTAVOLIN_BUILD_UI=ON \
    -DTAVOLIN_BUILD_BENCH=OFF >/dev/null
cmake --build build-sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp" \
    ctest --test-dir build-sanitize --output-on-failure -j"$jobs" -E '^package_test$'

# A short run of every fuzz target in the same build.
scripts/fuzz 10
