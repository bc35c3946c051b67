#!/usr/bin/env bash
# Builds everything and runs every test, from a clean clone on a fresh Debian machine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/check-format.sh
scripts/check-layers.sh

build=build/test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVORO_BUILD_TESTS=ON
cmake --build "$build" -j"$(nproc)"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 600
