#!/bin/sh
# Runs a benchmark N times and prints the output of the run whose "end-to-end CPU share"
# is the median, after one line with every run's share. The share depends on where the
# scheduler puts the program and the simulated driver (one core or two), which changes
# from run to run on a small machine; the median of a few runs is the figure to compare.
# Exits with the median run's exit code.
# Usage: tools/bench/median-run.sh N COMMAND [ARGS...]
set -u
runs=$1
shift
dir=$(mktemp -d "${TMPDIR:-/tmp}/veltrano-median.XXXXXX")
trap 'rm -rf "$dir"' EXIT
i=0
while [ "$i" -lt "$runs" ]; do
    i=$((i + 1))
    "$@" >"$dir/$i.out" 2>"$dir/$i.err"
    echo $? >"$dir/$i.code"
    share=$(sed -n 's/^end-to-end CPU share: \([0-9.]*\) .*/\1/p' "$dir/$i.out")
    echo "${share:-999} $i" >>"$dir/shares"
done
median=$(sort -n "$dir/shares" | sed -n "$(((runs + 1) / 2))p" | cut -d' ' -f2)
echo "end-to-end CPU share of each run: $(cut -d' ' -f1 "$dir/shares" | tr '\n' ' ')(the median run follows)"
cat "$dir/$median.out"
cat "$dir/$median.err" >&2
exit "$(cat "$dir/$median.code")"
