#!/usr/bin/env bash
# Cross-builds the client, the Windows stand-ins and the Windows tests with MinGW-w64, and
# assembles the package a pilot unpacks: build/windows/package/tavoro and its zip.
#
# Qt for Windows: $TAVORO_QT_WINDOWS, else ../shared/qt6-mingw beside the project, else
# a copy built once from Debian's source into build/qt6-mingw (about an hour on two cores).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

scripts/install-deps.sh --windows

qt="${TAVORO_QT_WINDOWS:-}"
if [ -z "$qt" ] && [ -d "$root/../shared/qt6-mingw/lib/cmake/Qt6" ]; then
    qt="$(cd "$root/../shared/qt6-mingw" && pwd)"
fi
if [ -z "$qt" ]; then
    qt="$root/build/qt6-mingw"
    [ -d "$qt/lib/cmake/Qt6" ] || scripts/build-qt-windows.sh "$qt"
fi

build=build/windows
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DTAVORO_QT_WINDOWS="$qt" -DCMAKE_BUILD_TYPE=Release -DTAVORO_BUILD_TESTS=ON \
    -DTAVORO_BUILD_BENCHMARKS=OFF
cmake --build "$build" -j"$(nproc)"
# The tests run from the build's own program folder.
scripts/windows-runtime.sh "$qt" "$build/bin"

# The package: the program and what it loads, nothing of the build's stand-ins.
package="$build/package/tavoro"
rm -rf "$build/package"
mkdir -p "$package/platforms" "$package/styles"
cp "$build/bin/tavoro.exe" "$package/"
scripts/windows-runtime.sh "$qt" "$package"
# The pilot downloads no debugging symbols: the runtime alone carries 20 MB of them.
x86_64-w64-mingw32-strip --strip-unneeded "$package/tavoro.exe" "$package"/lib*.dll
# A sample configuration: the pilot fills in the ATC service's server; the simulator's
# folder is asked for at the first start. Windows line ends, for Notepad.
{
    printf '[connect]\nserveur=Mon service ATC\nadresse=atc.example.org\nport=6809\npassword=\n'
    printf '[envoi]\navion=5000\n[ATIS]\naudio=false\n'
    scripts/demo-config.sh unused 0 | sed -n '/^\[facility\]/,$p'
} | sed 's/$/\r/' >"$package/corvanta.ini"
rm -f "$build/tavoro-windows.zip"
(cd "$build/package" && python3 -m zipfile -c ../tavoro-windows.zip tavoro)
echo "Package: $build/package/tavoro"
echo "Zip:     $build/tavoro-windows.zip"
