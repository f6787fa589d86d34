#!/bin/sh
# Starts the simulated driver board on a pseudo-terminal as COM3 and the program beside
# it, so that the program reaches the board over a real serial line (veltrano --simulate
# runs the same board inside the program instead); the simulator stops when the program
# ends. With VELTRANO_PORTS already set (real hardware), starts only the program. Build
# first (see README).
#
# --replay FILE (or --replay=FILE) goes to the simulator, not the program: the polls
# are answered with the rows of FILE (a recording or a chart snapshot the program
# saved), over and over (--loop), so the chart view plays that run. It always starts
# the simulator, whatever VELTRANO_PORTS says. All other arguments go to the program.
set -eu
build=${VELTRANO_BUILD:-build}

replay=
n=$#
while [ "$n" -gt 0 ]; do
    arg=$1
    shift
    n=$((n - 1))
    case $arg in
    --replay)
        if [ "$n" -eq 0 ]; then
            echo "run.sh: --replay needs a file" >&2
            exit 2
        fi
        replay=$1
        shift
        n=$((n - 1))
        ;;
    --replay=*) replay=${arg#--replay=} ;;
    *) set -- "$@" "$arg" ;;
    esac
done

if [ -z "$replay" ] && [ -n "${VELTRANO_PORTS+set}" ]; then
    exec "$build/veltrano" "$@"
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/veltrano-sim.XXXXXX")
if [ -n "$replay" ]; then
    "$build/tools/driver-sim/veltrano-driver-sim" --link "$dir/tty" --com COM3 --quiet --replay "$replay" --loop &
else
    "$build/tools/driver-sim/veltrano-driver-sim" --link "$dir/tty" --com COM3 --quiet &
fi
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -rf "$dir"' EXIT
trap 'exit 130' INT TERM
i=0
while [ ! -e "$dir/tty" ] && [ $i -lt 50 ]; do
    if ! kill -0 "$sim" 2>/dev/null; then
        # Gone before its line was there (a file it cannot replay, no pty): it said why.
        status=0
        wait "$sim" || status=$?
        exit "$status"
    fi
    sleep 0.1
    i=$((i + 1))
done

VELTRANO_PORTS="COM3=$dir/tty" "$build/veltrano" "$@"
