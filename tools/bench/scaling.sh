#!/bin/sh
# The chart view (51 points, 2D, the board inside the program) on a private Xvfb at display
# scales 1, 1.25 and 1.5 (QT_SCALE_FACTOR, as Windows laptops run at 100, 125 and 150 %), in
# alternating rounds with the order turned round every second round. Prints the program's
# and the X server's CPU share for every run, the medians per scale, and each scale's
# median over scale 1's.
# Usage: tools/bench/scaling.sh BUILD-DIR [ROUNDS] [SECONDS]   (defaults 2 and 15)
set -u
build=$1
rounds=${2:-2}
seconds=${3:-15}
here=$(dirname "$0")
work=$(mktemp -d "${TMPDIR:-/tmp}/veltrano-scaling.XXXXXX")
trap 'rm -rf "$work"' EXIT
scales="1 1.25 1.5"
reversed="1.5 1.25 1"

figure() { sed -n "s/^$2: \([0-9.]*\) .*/\1/p" "$1" | head -n 1; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "round scale: program | X server (% of one core)"
round=1
while [ "$round" -le "$rounds" ]; do
    order=$scales
    [ $((round % 2)) -eq 0 ] && order=$reversed
    for scale in $order; do
        QT_SCALE_FACTOR=$scale "$here/end-to-end-xvfb.sh" "$build" --seconds "$seconds" --in-program \
            >"$work/run.out" 2>&1
        program=$(figure "$work/run.out" "end-to-end CPU share")
        server=$(figure "$work/run.out" "end-to-end X server CPU share")
        if [ -z "$program" ]; then
            cat "$work/run.out"
            echo "scaling: the run at $scale did not report" >&2
            exit 2
        fi
        echo "$program" >>"$work/program-$scale"
        echo "$server" >>"$work/server-$scale"
        echo "$round $scale: $program | $server"
    done
    round=$((round + 1))
done
base=$(median <"$work/program-1")
for scale in $scales; do
    program=$(median <"$work/program-$scale")
    server=$(median <"$work/server-$scale")
    echo "median $scale: program $program | X server $server | program / scale 1: $(echo "$program $base" | awk '{ printf "%.2f", $1 / $2 }')"
done
