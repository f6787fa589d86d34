#!/bin/sh
# Makes the Debian package from a build directory with cpack, as a user would, and checks
# it: control fields and dependencies, the exact file list with owners and modes, stripped
# programs that start (--version without any display), the change log's version, and
# lintian without errors (its warnings are shown).
# Usage: check_package.sh BUILD-DIR VERSION
set -eu
build=$1
version=$2
arch=$(dpkg --print-architecture)
deb=$build/veltrano_${version}_${arch}.deb
work=$(mktemp -d "${TMPDIR:-/tmp}/veltrano-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# cpack builds what is out of date before it installs, one job at a time; two are quicker.
cmake --build "$build" -j2 >"$work/build.log" 2>&1 || { cat "$work/build.log"; echo "FAIL: build"; exit 1; }
rm -f "$deb"
if ! (cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1 || [ ! -f "$deb" ]; then
    cat "$work/cpack.log"
    echo "FAIL: cpack made no $deb"
    exit 1
fi
dpkg-deb -I "$deb"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = veltrano ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), the project's is $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
for needed in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 fonts-liberation; do
    echo "$depends" | tr ',' '\n' | grep -Eq "^ *$needed( |\$)" || fail "Depends lacks $needed: $depends"
done

# Every entry owned by root, directories and programs 755, everything else 644.
dpkg-deb -c "$deb" | awk '{ print $1, $2, $6 }' >"$work/contents"
awk '
    $2 != "root/root" { print "FAIL: owner " $2 " of " $3 }
    $1 ~ /^d/ && $1 != "drwxr-xr-x" { print "FAIL: mode " $1 " of " $3 }
    $1 ~ /^-/ && $3 ~ /^\.\/usr\/bin\// && $1 != "-rwxr-xr-x" { print "FAIL: mode " $1 " of " $3 }
    $1 ~ /^-/ && $3 !~ /^\.\/usr\/bin\// && $1 != "-rw-r--r--" { print "FAIL: mode " $1 " of " $3 }
    $1 !~ /^[d-]/ { print "FAIL: neither file nor directory: " $3 }
' "$work/contents" >"$work/modes"
[ -s "$work/modes" ] && { cat "$work/modes"; failures=$((failures + 1)); }

{
    echo ./usr/bin/veltrano
    echo ./usr/bin/veltrano-driver-sim
    echo ./usr/share/applications/veltrano.desktop
    for size in 16 24 32 48 64 128 256; do
        echo "./usr/share/icons/hicolor/${size}x${size}/apps/veltrano.png"
    done
    echo ./usr/share/man/man1/veltrano.1.gz
    echo ./usr/share/man/man1/veltrano-driver-sim.1.gz
    echo ./usr/share/doc/veltrano/copyright
    echo ./usr/share/doc/veltrano/changelog.gz
    echo ./usr/share/doc/veltrano/README.gz
} | sort >"$work/expected"
awk '$1 !~ /^d/ { print $3 }' "$work/contents" | sort >"$work/files"
diff -u "$work/expected" "$work/files" >"$work/files.diff" || {
    echo "FAIL: files in the package (- expected, + found):"
    cat "$work/files.diff"
    failures=$((failures + 1))
}

root=$work/root
dpkg-deb -x "$deb" "$root"
for program in veltrano veltrano-driver-sim; do
    file -b "$root/usr/bin/$program" | grep -q ', stripped' || fail "$program is not stripped"
done
for program in veltrano veltrano-driver-sim; do
    answer=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/$program" --version 2>&1) \
        || fail "$program --version ended with status $?"
    [ "$(echo "$answer" | head -n 1)" = "$program $version" ] || fail "$program --version answered: $answer"
done
"$root/usr/bin/veltrano-driver-sim" --help | grep -q '^Usage: veltrano-driver-sim' \
    || fail "veltrano-driver-sim --help"
for gz in "$root"/usr/share/man/man1/*.gz "$root"/usr/share/doc/veltrano/*.gz; do
    gzip -t "$gz" 2>/dev/null || fail "not gzip: $gz"
done
top=$(gzip -dc "$root/usr/share/doc/veltrano/changelog.gz" | head -1)
case "$top" in
    "veltrano ($version) "*) ;;
    *) fail "the change log's newest entry is not for $version: $top" ;;
esac

echo "lintian:"
lintian --fail-on error "$deb" || fail "lintian reports errors"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "package $deb: all checks passed"
