#!/bin/sh
# Builds Qt 6.4.2 for Windows x86-64 (static; Core, Gui, Widgets and Test with the windows,
# offscreen and minimal platform plugins) with mingw-w64 (posix threads) from Debian's own
# qt6-base source package, with Debian's security patches (the cve-* entries of its patch
# series) applied. The version is that of Debian's host Qt tools, which a cross build needs.
#
# Installs into a cache folder and reuses it while the Qt version and the options below are
# the same: prints its path on standard output, and what it does on standard error. About 15 to 20 minutes on 2 cores the first
# time. Installs what it needs from Debian's packages (as root or through sudo) and, when
# the machine has no source entries, adds them in a file of its own,
# /etc/apt/sources.list.d/veltrano-qt-source.sources: the same archives and suites as the
# machine's package entries, for source packages.
#
# Usage: tools/windows/build-qt.sh        (VELTRANO_QT_CACHE: the cache folder,
#                                           default ~/.cache/veltrano)
set -eu
qt_version=6.4.2
cache=${VELTRANO_QT_CACHE:-$HOME/.cache/veltrano}
started=$(date +%s)
say() { echo "build-qt: $*" >&2; }
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi

configure_options="-release -static -static-runtime -xplatform win32-g++
 -device-option CROSS_COMPILE=x86_64-w64-mingw32- -qt-host-path /usr -nomake examples -nomake tests
 -no-opengl -no-dbus -no-icu -no-feature-vulkan -no-feature-tabletevent
 -no-feature-sql -no-feature-network -no-feature-printsupport -no-feature-concurrent -no-feature-xml
 -qt-zlib -qt-pcre -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz -qt-doubleconversion"
stamp=$(printf '%s\n%s\n' "$qt_version" "$configure_options" | sha256sum | cut -c1-12)
prefix=$cache/qt-$qt_version-win64-$stamp

if [ -f "$prefix/.complete" ]; then
    say "Qt $qt_version for Windows is in $prefix already"
    echo "$prefix"
    exit 0
fi

packages="g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 ninja-build cmake
 dpkg-dev patch xz-utils qt6-base-dev"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    say "installing:$missing"
    $sudo apt-get update -qq >&2
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing >&2
fi
host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
case $host_version in
    "$qt_version"+*) ;;
    *) say "the host Qt tools are $host_version, not $qt_version: a cross build needs the same version" >&2; exit 2 ;;
esac

work=$cache/qt-$qt_version-win64-work
rm -rf "$work"
mkdir -p "$work/source" "$work/build"

# Debian's source package of the host Qt.
cd "$work/source"
if ! apt-get source --download-only "qt6-base=$host_version" >/dev/null 2>&1; then
    list=/etc/apt/sources.list.d/veltrano-qt-source.sources
    say "no source entries on this machine: adding $list (the machine's archives, for sources)"
    entries=$(mktemp)
    # deb822 files: each stanza of type deb again as deb-src.
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && [ "$f" != "$list" ] || continue
        awk 'BEGIN { RS = ""; ORS = "\n\n" } /Types:([^\n]* )?deb([ \n]|$)/ {
                 sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f" >>"$entries"
    done
    # One-line entries of sources.list.
    if [ -f /etc/apt/sources.list ]; then
        sed -n 's/^deb \(\[[^]]*\] \)\{0,1\}\([^ ]*\) \([^ ]*\) \(.*\)$/Types: deb-src\nURIs: \2\nSuites: \3\nComponents: \4\n/p' \
            /etc/apt/sources.list >>"$entries"
    fi
    $sudo install -m 0644 "$entries" "$list"
    rm -f "$entries"
    $sudo apt-get update -qq >&2
    apt-get source --download-only "qt6-base=$host_version" >/dev/null
fi
orig=$(ls qt6-base_*.orig.tar.xz)
debian=$(ls qt6-base_*.debian.tar.xz)
say "source: $orig with $debian"
tar -xf "$orig"
top=$(tar -tf "$orig" | head -n 1 | cut -d/ -f1)
tar -xf "$debian" -C "$top"
cd "$top"
grep '^cve-' debian/patches/series | while read -r patch; do
    say "applying Debian's $patch"
    patch -p1 -s <"debian/patches/$patch"
done
source_dir=$(pwd)

# The toolchain file stays inside the prefix: Qt's installed CMake files name it.
mkdir -p "$prefix"
cat >"$prefix/toolchain-mingw64.cmake" <<'TOOLCHAIN'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
TOOLCHAIN

cd "$work/build"
say "configuring"
# shellcheck disable=SC2086 # the options are words
"$source_dir/configure" $configure_options -prefix "$prefix" \
    -- -G Ninja -DCMAKE_TOOLCHAIN_FILE="$prefix/toolchain-mingw64.cmake" \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >"$work/configure.log" 2>&1 \
    || { tail -n 40 "$work/configure.log" >&2; say "configure failed (log: $work/configure.log)" >&2; exit 1; }
say "building (about 15 minutes on 2 cores)"
ninja -j2 >"$work/build.log" 2>&1 || { tail -n 40 "$work/build.log" >&2; say "build failed (log: $work/build.log)" >&2; exit 1; }
ninja install >"$work/install.log" 2>&1 || { tail -n 20 "$work/install.log" >&2; exit 1; }
printf '%s\n%s\n' "$qt_version" "$configure_options" >"$prefix/.complete"
rm -rf "$work"
say "done in $(( ($(date +%s) - started) / 60 )) min $(( ($(date +%s) - started) % 60 )) s"
echo "$prefix"
