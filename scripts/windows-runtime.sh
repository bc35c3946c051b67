#!/usr/bin/env bash
# Copies beside a Windows program what it needs to start: the Qt DLLs, the platform and
# style plug-ins, and the MinGW runtime. Usage: windows-runtime.sh QT_FOLDER TARGET_FOLDER
set -euo pipefail
qt="$1"
target="$2"
mkdir -p "$target/platforms" "$target/styles"
for library in Qt6Core Qt6Gui Qt6Widgets Qt6Network; do
    cp "$qt/bin/$library.dll" "$target/"
done
cp "$qt/plugins/platforms/qwindows.dll" "$target/platforms/"
cp "$qt"/plugins/styles/*.dll "$target/styles/"
cp /usr/lib/gcc/x86_64-w64-mingw32/12-posix/libstdc++-6.dll \
    /usr/lib/gcc/x86_64-w64-mingw32/12-posix/libgcc_s_seh-1.dll \
    /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll "$target/"
