#!/bin/sh
# The chart view (51 points, 2D, 115200 baud, motor running) against the board simulated
# inside the program (--simulate) and against the simulator on a pseudo-terminal, in
# alternating rounds on the offscreen platform, the order turned round every second round.
# Over the pty the cost is the program's share plus the simulator process's; inside the
# program it is the program's share alone. Prints every round and the medians; exits 1
# when the program with its own board takes more than the two over the pty (or a run fails
# its own checks), 2 when a benchmark cannot run.
# Usage: tools/bench/simulate-vs-pty.sh BUILD-DIR [ROUNDS] [SECONDS]  (defaults 5 and 15)
set -u
build=$1
rounds=${2:-5}
seconds=${3:-15}
bench=$build/tools/bench
work=$(mktemp -d "${TMPDIR:-/tmp}/veltrano-simulate.XXXXXX")
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
failed=0

figure() { sed -n "s/^$2: \([0-9.]*\) .*/\1/p" "$1" | head -n 1; }

# run NAME ARGS...: one end-to-end run, its output left in $work/NAME.out.
run() {
    name=$1
    shift
    "$bench/bench_end_to_end" --seconds "$seconds" --idle-seconds 0 "$@" >"$work/$name.out" 2>"$work/$name.err"
    code=$?
    if [ -z "$(figure "$work/$name.out" "end-to-end CPU share")" ]; then
        cat "$work/$name.out" "$work/$name.err"
        echo "simulate-vs-pty: bench_end_to_end $name did not run" >&2
        exit 2
    fi
    [ "$code" -eq 0 ] || { cat "$work/$name.out"; echo "   round $round $name: its own checks failed"; failed=1; }
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: >"$work/pty.list"
: >"$work/in.list"
round=1
echo "round: pty program + simulator = pty total | in program | in program - pty total (% of one core)"
while [ "$round" -le "$rounds" ]; do
    if [ $((round % 2)) -eq 1 ]; then
        run pty; run in --in-program
    else
        run in --in-program; run pty
    fi
    program=$(figure "$work/pty.out" "end-to-end CPU share")
    sim=$(figure "$work/pty.out" "end-to-end simulator CPU share")
    inside=$(figure "$work/in.out" "end-to-end CPU share")
    total=$(echo "$program $sim" | awk '{ printf "%.2f", $1 + $2 }')
    echo "$total" >>"$work/pty.list"
    echo "$inside" >>"$work/in.list"
    echo "$round: $program + $sim = $total | $inside | $(echo "$inside $total" | awk '{ printf "%+.2f", $1 - $2 }')"
    round=$((round + 1))
done
pty=$(median <"$work/pty.list")
inside=$(median <"$work/in.list")
echo "median: pty total $pty, in program $inside (target: in program <= pty total)"
awk -v a="$inside" -v b="$pty" 'BEGIN { exit !(a <= b) }' || failed=1
exit "$failed"
