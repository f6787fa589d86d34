#!/bin/sh
# Starts the simulated driver board as COM3 and the program beside it; the simulator
# stops when the program ends. With VELTRANO_PORTS already set (real hardware), starts
# only the program. Build first (see README).
set -eu
build=${VELTRANO_BUILD:-build}

if [ -n "${VELTRANO_PORTS+set}" ]; then
    exec "$build/veltrano" "$@"
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/veltrano-sim.XXXXXX")
"$build/tools/driver-sim/veltrano-driver-sim" --link "$dir/tty" --com COM3 --quiet &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -rf "$dir"' EXIT
trap 'exit 130' INT TERM
i=0
while [ ! -e "$dir/tty" ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done

VELTRANO_PORTS="COM3=$dir/tty" "$build/veltrano" "$@"
