#!/usr/bin/env bash
# Builds the Debian package tavolin_VERSION_ARCH.deb in build-package/ and
# says where it is. Installs missing Debian packages first.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
tavolin_install_deps

cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DTAVOLIN_BUILD_TESTS=OFF \
    -DTAVOLIN_BUILD_BENCH=OFF >/dev/null
cmake --build build-package -j"$(nproc)"
(cd build-package && cpack -G DEB >/dev/null)
deb=$(ls -t "$PWD"/build-package/tavolin_*.deb | head -n 1)
echo "Package: $deb"
echo "Install it with: apt install $deb"
