#!/bin/sh
# Builds the benchmarks (Release, in a build directory of their own) and runs every one,
# printing each figure with its target. Exits 1 when a target is missed, 2 when the build
# fails. A benchmark misses a target when it exits non-zero, or when one of its lines of
# the form "name: VALUE unit (target < LIMIT ...)" (also <=, >, >=) does not hold, so a
# benchmark that only prints its figures is checked as well.
#
# Usage: tools/bench/run-all.sh [build-dir]     (default: build-bench at the top of the tree)
# BENCH_E2E_SECONDS sets the length of each end-to-end and floor run (default 20),
# BENCH_E2E_ROUNDS how many rounds the medians above the floor are taken from (default 5).
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build-bench}

benches=""
for source in "$root"/tools/bench/bench_*.cpp; do
    benches="$benches $(basename "$source" .cpp)"
done

echo "== building$benches in $build (Release)"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >"$build.cmake.log" 2>&1 \
    || { cat "$build.cmake.log"; echo "run-all: configuring failed" >&2; exit 2; }
rm -f "$build.cmake.log"
# shellcheck disable=SC2086
cmake --build "$build" -j2 --target $benches >"$build.build.log" 2>&1 \
    || { tail -n 40 "$build.build.log"; echo "run-all: building failed" >&2; exit 2; }
rm -f "$build.build.log"

export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
out=$(mktemp "${TMPDIR:-/tmp}/veltrano-bench.XXXXXX")
trap 'rm -f "$out"' EXIT
missed=""
# Runs one benchmark and checks its figures against their targets.
run() {
    name=$1
    shift
    echo "== $name"
    "$@" >"$out"
    code=$?
    cat "$out"
    lines=$(awk '
        match($0, /: -?[0-9.]+ [^(]*\(target (<|<=|>|>=) [0-9.]+/) {
            text = substr($0, RSTART + 2, RLENGTH - 2)
            split(text, f, " ")
            value = f[1] + 0
            split(substr(text, index(text, "(target ") + 8), h, " ")
            op = h[1]; limit = h[2] + 0
            ok = (op == "<" && value < limit) || (op == "<=" && value <= limit) ||
                 (op == ">" && value > limit) || (op == ">=" && value >= limit)
            if (!ok) print "   missed: " $0
        }' "$out")
    if [ "$code" -ne 0 ] || [ -n "$lines" ]; then
        [ -n "$lines" ] && echo "$lines"
        echo "   $name: target missed (exit code $code)"
        missed="$missed $name"
    fi
}

seconds=${BENCH_E2E_SECONDS:-20}
rounds=${BENCH_E2E_ROUNDS:-5}
for bench in $benches; do
    case $bench in
        bench_end_to_end)
            # The chart view's cost as its distance above the floor, in alternating rounds of
            # the floor and of the fewest points in 2D and the most in 3D, offscreen and under
            # Xvfb (when installed); then the setup view's idle share once.
            run "$bench against the floor" "$root/tools/bench/interleaved.sh" "$build" "$rounds" "$seconds"
            run "$bench (setup view idle)" "$build/tools/bench/$bench" --seconds 5 --idle-seconds 10
            # The board inside the program (--simulate) against the simulator over a pty.
            run "$bench with --simulate against the pty" "$root/tools/bench/simulate-vs-pty.sh" "$build" "$rounds" "$seconds"
            ;;
        bench_event_floor) ;; # taken in the rounds above
        # Three rounds without and three with a recording, each as long as an end-to-end run,
        # then the stalled pipe.
        bench_recording) run "$bench" "$build/tools/bench/$bench" --seconds "$seconds" --rounds 3 ;;
        *) run "$bench" "$build/tools/bench/$bench" ;;
    esac
done

echo "=="
if [ -n "$missed" ]; then
    echo "run-all: targets missed by:$missed"
    exit 1
fi
echo "run-all: every target met"
