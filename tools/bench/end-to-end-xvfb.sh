#!/bin/sh
# The end-to-end benchmark on a real X server: starts a private Xvfb, runs
# bench_end_to_end on the xcb platform with the server's process id, so that the X
# server's CPU share is reported beside the program's, and stops the server.
# Usage: tools/bench/end-to-end-xvfb.sh BUILD-DIR [bench_end_to_end options]
set -eu
build=$1
shift
command -v Xvfb >/dev/null || { echo "end-to-end-xvfb: no Xvfb (tools/install-deps.sh --with-x)" >&2; exit 2; }
. "$(dirname "$0")/private_xvfb.sh"
xvfb=""
trap '[ -n "$xvfb" ] && { kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; }' EXIT
start_private_xvfb || { echo "end-to-end-xvfb: Xvfb did not start" >&2; exit 2; }
DISPLAY=$display QT_QPA_PLATFORM=xcb "$build/tools/bench/bench_end_to_end" --x-server-pid "$xvfb" "$@"
