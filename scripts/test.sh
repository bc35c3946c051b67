#!/usr/bin/env bash
# Builds everything and runs every test, from a clean clone on a fresh Debian machine:
# first the suite as the program is built, then the same suite built with
# AddressSanitizer and UndefinedBehaviorSanitizer (any report fails its test), with the
# fuzz targets run for a short while each, then the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/check-format.sh
scripts/check-layers.sh

jobs="$(nproc)"

build=build/test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVORO_BUILD_TESTS=ON
cmake --build "$build" -j"$jobs"
# The Wine tests, when this build has them, run with the Windows suite below.
(cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs" --timeout 600 -LE wine)

sanitized=build/asan
cmake -S . -B "$sanitized" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
    -DTAVORO_WITH_ASAN=ON -DTAVORO_BUILD_FUZZERS=ON -DTAVORO_BUILD_TESTS=ON \
    -DTAVORO_BUILD_BENCHMARKS=OFF
cmake --build "$sanitized" -j"$jobs"
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/sanitizers/lsan.supp:print_suppressions=0"
(cd "$sanitized" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs" --timeout 900)

# The Windows build, cross-built and tested under Wine, wherever Qt for Windows is at hand.
if [ -n "${TAVORO_QT_WINDOWS:-}" ] || [ -d ../shared/qt6-mingw/lib/cmake/Qt6 ]; then
    TAVORO_LINUX_BUILD="$build" scripts/test-windows.sh
fi
