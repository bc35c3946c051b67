#!/usr/bin/env bash
# Builds the Windows package and runs the Windows tests under Wine, on a private Xvfb
# display and in a Wine prefix of their own: first the platform layer's tests, then the
# Windows client end to end against the Windows stand-in simulator and the Linux stand-in
# ATC server. The end-to-end driver is a Linux test, built in $TAVORO_LINUX_BUILD
# (default build/test, the Linux suite's own build).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

scripts/build-windows.sh
windows_bin="$root/build/windows/bin"

prefix="$(mktemp -d)"
export WINEPREFIX="$prefix/wine" WINEDEBUG=-all
cleanup() {
    wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
}
trap cleanup EXIT
display=(xvfb-run -a -s "-screen 0 1280x800x24")

# Its first start builds the prefix, which takes a while; the tests then start at once.
"${display[@]}" /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true

echo "== Windows platform tests (Wine)"
(cd "$windows_bin" && "${display[@]}" /usr/lib/wine/wine64 windows_platform_tests.exe)

echo "== Windows client end to end (Wine)"
linux="${TAVORO_LINUX_BUILD:-build/test}"
cmake -S . -B "$linux" -G Ninja -DTAVORO_BUILD_TESTS=ON -DTAVORO_WINDOWS_BIN="$windows_bin"
cmake --build "$linux" -j"$(nproc)" --target wine_end_to_end_tests
(cd "$linux" && "${display[@]}" ctest --output-on-failure -L wine --timeout 600)
