#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when missing.
# With --windows: those the Windows cross-build and its tests under Wine need.
set -euo pipefail

if [ "${1:-}" = "--windows" ]; then
    packages=(
        cmake ninja-build python3 g++-mingw-w64-x86-64-posix qt6-base-dev-tools qt6-base-dev
        libgtest-dev wine wine64 xvfb xauth x11-utils xdotool imagemagick
    )
else
    packages=(
        cmake ninja-build g++ pkg-config
        qt6-base-dev qt6-qpa-plugins qt6-speech-dev qt6-declarative-dev qt6-speech-flite-plugin
        libgl-dev libgtest-dev libgmock-dev libbenchmark-dev
        xvfb xauth clang-format locales
        clang libclang-rt-14-dev
    )
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} > 0)); then
    echo "Installing: ${missing[*]}"
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        sudo="sudo"
    fi
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
fi
