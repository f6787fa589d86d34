#!/bin/sh
# Pictures of both views for the README, taken under a real X server (Xvfb) with the
# program's simulated driver board (--simulate, COM3): connect, LOAD DATA, RUN, then the
# chart view. Arguments after the two folders go to the program instead of --simulate
# (--simulate=COM7, --replay FILE, ...). With SHOTS_EVERY_STEP=1 it also keeps
# connected.png and loaded.png.
# Usage: tools/screenshots.sh [build-dir] [out-dir] [program arguments]
# (needs: tools/install-deps.sh --with-x)
set -eu
build=${1:-build}
out=${2:-docs}
[ $# -ge 2 ] && shift 2 || shift $#
[ $# -gt 0 ] || set -- --simulate
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/veltrano-shots.XXXXXX")
display=:$((90 + $$ % 9))

cleanup() {
    kill "${app:-}" "${xvfb:-}" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
DISPLAY=$display "$build/veltrano" "$@" &
app=$!
export DISPLAY=$display

window=""
for _ in $(seq 50); do
    window=$(xdotool search --name '^VELTRANO$' 2>/dev/null | head -1) && [ -n "$window" ] && break
    sleep 0.2
done
[ -n "$window" ] || { echo "the window did not appear" >&2; exit 1; }
sleep 1

click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep "${3:-0.5}"; }
# Positions in pixels of the client area (one pixel is 15 twips).
shot() { [ "${SHOTS_EVERY_STEP:-}" = 1 ] && import -window "$window" "$out/$1" || true; }
click 648 54          # CONNECTING
shot connected.png
click 568 488         # LOAD DATA
shot loaded.png
click 80 356 1.5      # RUN; the progress run ends
import -window "$window" "$out/setup-view.png"
click 80 292 3        # SIMULATION: the chart fills for three seconds
import -window "$window" "$out/chart-view.png"
echo "wrote $out/setup-view.png and $out/chart-view.png"
