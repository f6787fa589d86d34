#!/bin/sh
# Tries the installed package (apt-get install ./build/veltrano_*.deb) as a user would:
# veltrano --version with no display, then the installed program under a real X server
# (Xvfb) against the installed simulator as COM3: connect, LOAD DATA, the chart view. The
# simulator's log must show the greeting, the parameter record and answered polls.
# Uses only /usr/bin's programs. Needs: tools/install-deps.sh --with-x
set -eu
bin=/usr/bin
for program in veltrano veltrano-driver-sim Xvfb xdotool; do
    command -v "$program" >/dev/null || { echo "package-smoke: $program is not installed" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/veltrano-smoke.XXXXXX")

cleanup() {
    for pid in ${app:-} ${sim:-} ${xvfb:-}; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
failed() {
    echo "package-smoke: FAILED: $*" >&2
    echo "--- simulator log" >&2; cat "$work/sim.log" >&2 2>/dev/null || true
    echo "--- program output" >&2; cat "$work/app.log" >&2 2>/dev/null || true
    exit 1
}

version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/veltrano" --version) \
    || failed "veltrano --version"
echo "$version"
case "$version" in "veltrano "[0-9]*) ;; *) failed "veltrano --version answered: $version" ;; esac

# Xvfb picks a free display itself and writes its number.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || failed "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"

"$bin/veltrano-driver-sim" --link "$work/tty" --com COM3 >"$work/sim.log" 2>&1 &
sim=$!
for _ in $(seq 50); do [ -e "$work/tty" ] && break; sleep 0.1; done
[ -e "$work/tty" ] || failed "the simulator made no line"

QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" VELTRANO_PORTS="COM3=$work/tty" \
    "$bin/veltrano" >"$work/app.log" 2>&1 &
app=$!
window=""
for _ in $(seq 50); do
    window=$(xdotool search --name '^VELTRANO$' 2>/dev/null | head -1) && [ -n "$window" ] && break
    sleep 0.2
done
[ -n "$window" ] || failed "the window did not appear"
sleep 1

click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep "$3"; }
# Positions in pixels of the client area, as in tools/screenshots.sh.
click 648 54 1        # CONNECTING: the port opens, the driver is greeted
click 568 488 1.5     # LOAD DATA: the record goes out, the progress run ends
click 80 292 3        # SIMULATION: the chart view polls 64 times a second

kill -0 "$app" 2>/dev/null || failed "the program ended on its own"
grep -q 'rx A (greeting)' "$work/sim.log" || failed "no greeting reached the simulator"
grep -q 'rx record C2600=1=10=2=0=1F' "$work/sim.log" || failed "no parameter record reached the simulator"
# Three seconds of the chart view at 64 polls a second: at least one second's worth answered.
answered=$(sed -n 's/.*polls [0-9]* in the last second, \([0-9]*\) answered.*/\1/p' "$work/sim.log" \
    | awk '{ sum += $1 } END { print sum + 0 }')
[ "$answered" -ge 64 ] || failed "only $answered polls answered in the chart view"

kill "$app"
wait "$app" 2>/dev/null || true
app=""
echo "package-smoke: passed (greeting, record C2600=1=10=2=0=1F, $answered polls answered)"
