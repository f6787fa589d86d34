#!/bin/sh
# The end-to-end benchmark on a real X server: starts a private Xvfb, runs
# bench_end_to_end on the xcb platform with the server's process id, so that the X
# server's CPU share is reported beside the program's, and stops the server.
# Usage: tools/bench/end-to-end-xvfb.sh BUILD-DIR [bench_end_to_end options]
set -eu
build=$1
shift
command -v Xvfb >/dev/null || { echo "end-to-end-xvfb: no Xvfb (tools/install-deps.sh --with-x)" >&2; exit 2; }
display=:$((70 + $$ % 20))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null' EXIT
for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X${display#:}" ] && break
    sleep 0.1
done
DISPLAY=$display QT_QPA_PLATFORM=xcb "$build/tools/bench/bench_end_to_end" --x-server-pid "$xvfb" "$@"
