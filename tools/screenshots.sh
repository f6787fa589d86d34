#!/bin/sh
# Pictures of both views for the README, taken under a real X server (Xvfb) with the
# simulated driver as COM3: connect, LOAD DATA, RUN, then the chart view.
# Usage: tools/screenshots.sh [build-dir] [out-dir]   (needs: tools/install-deps.sh --with-x)
set -eu
build=${1:-build}
out=${2:-docs}
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/veltrano-shots.XXXXXX")
display=:$((90 + $$ % 9))

cleanup() {
    kill "${app:-}" "${sim:-}" "${xvfb:-}" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
"$build/tools/driver-sim/veltrano-driver-sim" --link "$work/tty" --com COM3 --quiet &
sim=$!
sleep 1
DISPLAY=$display VELTRANO_PORTS="COM3=$work/tty" "$build/veltrano" &
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
click 648 54          # CONNECTING
click 568 488         # LOAD DATA
click 80 356 1.5      # RUN; the progress run ends
import -window "$window" "$out/setup-view.png"
click 80 292 3        # SIMULATION: the chart fills for three seconds
import -window "$window" "$out/chart-view.png"
echo "wrote $out/setup-view.png and $out/chart-view.png"
