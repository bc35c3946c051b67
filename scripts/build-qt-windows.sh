#!/usr/bin/env bash
# Builds Qt Base for Windows (x86_64, MinGW-w64 with posix threads) from Debian's source
# of the same version as the Linux Qt, into the folder given: the way ../shared/qt6-mingw
# was built, for machines that do not have it. About an hour on two cores.
# Usage: build-qt-windows.sh OUTPUT_FOLDER
set -euo pipefail
out="$(realpath -m "$1")"
root="$(cd "$(dirname "$0")/.." && pwd)"

if ! grep -rqs '^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    echo "deb-src http://deb.debian.org/debian bookworm main" >/etc/apt/sources.list.d/tavoro-src.list
fi
apt-get update
DEBIAN_FRONTEND=noninteractive apt-get install -y dpkg-dev ninja-build cmake \
    g++-mingw-w64-x86-64-posix qt6-base-dev-tools qt6-base-dev

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get source qt6-base)
source_dir="$(find "$work" -maxdepth 1 -type d -name 'qt6-base-*' | head -1)"

# The toolchain file wants the Qt folder only for finding Qt: none is needed to build it.
mkdir -p "$out"
cmake -S "$source_dir" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DTAVORO_QT_WINDOWS="$out" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_INSTALL_PREFIX="$out" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DFEATURE_sql=OFF -DINPUT_opengl=no \
    -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_testlib=ON \
    -DFEATURE_openssl=OFF -DFEATURE_icu=OFF -DFEATURE_vulkan=OFF -DFEATURE_tabletevent=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
ninja -C "$work/build"
ninja -C "$work/build" install
x86_64-w64-mingw32-strip --strip-debug "$out"/bin/*.dll
