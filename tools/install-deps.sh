#!/bin/sh
# Installs what building, testing and running VELTRANO needs on Debian 12, as root or
# through sudo. Does nothing when everything is already there.
set -eu

packages="cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev libgl-dev fonts-liberation"
packages="$packages dpkg-dev file lintian" # the Debian package and its test (cpack, dpkg-shlibdeps)
[ "${1:-}" = "--with-x" ] && packages="$packages xvfb xauth xdotool imagemagick"
case " $* " in *" --with-clang "*) packages="$packages clang libclang-rt-14-dev" ;; esac # sanitized + fuzz build

missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
echo "Installing:$missing"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
