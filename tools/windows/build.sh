#!/bin/sh
# Builds VELTRANO for Windows x86-64 on Debian: Qt from tools/windows/build-qt.sh (made the
# first time, then reused), mingw-w64, into build-win/, where build-win/veltrano.exe is one
# self-contained program. The tests are Windows programs too: `ctest --test-dir build-win`
# runs them through Wine (installed here) in a prefix of the build's own. With --package it
# also makes the release: build-win/veltrano-VERSION-win64.zip and, with NSIS (installed
# here), build-win/veltrano-VERSION-win64-setup.exe.
# Usage: tools/windows/build.sh [--package] [build-dir]      (default build-win)
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
package=""
if [ "${1:-}" = "--package" ]; then
    package=yes
    shift
fi
build=${1:-$root/build-win}
started=$(date +%s)
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi

missing=""
for p in wine wine64 ninja-build ${package:+nsis}; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "build: installing:$missing"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
fi

# What it does goes to standard error; its standard output names the Qt folder.
qt=$("$root/tools/windows/build-qt.sh" | tail -n 1)
[ -x "$qt/bin/qt-cmake" ] || { echo "build: no Qt for Windows to build with" >&2; exit 1; }
"$qt/bin/qt-cmake" -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CROSSCOMPILING_EMULATOR=wine >"$build.configure.log" 2>&1 \
    || { tail -n 30 "$build.configure.log"; echo "build: configuring failed" >&2; exit 1; }
rm -f "$build.configure.log"
if [ ! -f "$build/wine/system.reg" ]; then
    echo "build: making the Wine prefix that draws the icon and runs the tests, $build/wine"
    export WINEPREFIX="$build/wine" WINEDLLOVERRIDES=mscoree,mshtml= WINEDEBUG=-all
    wineboot -i >/dev/null 2>&1
    # Windows' own fonts stand in for Debian's metric-compatible ones, as the window expects.
    for pair in "Arial=Liberation Sans" "Times New Roman=Liberation Serif" "Arial Black=Liberation Sans"; do
        wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "${pair%%=*}" /d "${pair#*=}" /f >/dev/null 2>&1
    done
    wineserver -w
fi
cmake --build "$build" -j2
if [ -n "$package" ]; then
    cmake --build "$build" --target release
    echo "build: $(ls "$build"/veltrano-*-win64.zip "$build"/veltrano-*-win64-setup.exe | tr '\n' ' ')"
fi
echo "build: $build/veltrano.exe, $(( $(date +%s) - started )) s"
