#!/bin/sh
# The chart view's cost above the machine's floor, taken in one run. On each platform
# (offscreen, then a private Xvfb when installed) every round runs bench_event_floor and
# bench_end_to_end at 51 points 2D and at 501 points 3D one after the other, the order
# turned round on every second round, so that the machine's drift falls on both sides
# alike. Each round's figure is the program's share less the floor's share with the line
# box measured in the same round, and their ratio; every raw figure is printed, then per
# setting the medians and their targets. With INTERLEAVED_FROZEN=1 each round also runs both
# settings with the chart's frames frozen (bench_end_to_end --freeze-chart), and the medians
# of those runs above the floor, beside the others, part the chart's frames from the rest.
# Exits 1 when a target is missed or a run fails its own checks (ticks, polls decoded,
# memory), 2 when a benchmark cannot run.
# Usage: tools/bench/interleaved.sh BUILD-DIR [ROUNDS] [SECONDS]  (defaults 5 and 20;
#        INTERLEAVED_PLATFORMS="offscreen xvfb" picks the platforms)
set -u
build=$1
rounds=${2:-5}
seconds=${3:-20}
bench=$build/tools/bench
platforms=${INTERLEAVED_PLATFORMS:-offscreen xvfb}
frozen=${INTERLEAVED_FROZEN:-0}
work=$(mktemp -d "${TMPDIR:-/tmp}/veltrano-interleaved.XXXXXX")
xvfb=""
cleanup() {
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
failed=0

. "$(dirname "$0")/private_xvfb.sh"
start_xvfb() {
    start_private_xvfb && return 0
    echo "interleaved: Xvfb did not start" >&2
    exit 2
}

# figure FILE PATTERN: the number after "PATTERN: " in FILE.
figure() { sed -n "s/^$2: \([0-9.]*\) .*/\1/p" "$1" | head -n 1; }

floor() {
    "$bench/bench_event_floor" --seconds "$seconds" >"$work/floor.out" 2>"$work/floor.err" \
        || { cat "$work/floor.out" "$work/floor.err"; echo "interleaved: bench_event_floor failed" >&2; exit 2; }
    floor_box=$(figure "$work/floor.out" "event floor, polls and one line box")
    floor_polls=$(figure "$work/floor.out" "event floor, polls only")
}

# program NAME ARGS...: one end-to-end run; its figures wait in $work/round for the
# round's floor.
program() {
    name=$1
    shift
    set -- --seconds "$seconds" --idle-seconds 0 "$@"
    [ -n "$xvfb" ] && set -- "$@" --x-server-pid "$xvfb"
    "$bench/bench_end_to_end" "$@" >"$work/e2e.out" 2>"$work/e2e.err"
    code=$?
    share=$(figure "$work/e2e.out" "end-to-end CPU share")
    if [ "$code" -ne 0 ] || [ -z "$share" ]; then
        cat "$work/e2e.out" "$work/e2e.err"
        echo "   $platform $name round $round: bench_end_to_end exit code $code"
        failed=1
        [ -z "$share" ] && return
    fi
    echo "$name $share $(figure "$work/e2e.out" "end-to-end ticks per second")" \
        "$(figure "$work/e2e.out" "end-to-end polls answered and decoded")" \
        "$(figure "$work/e2e.out" "end-to-end X server CPU share")" >>"$work/round"
}

# The round's lines, each program run against the round's floor.
report_round() {
    while read -r name share ticks decoded xshare; do
        echo "$share $floor_box" >>"$work/$platform-$name"
        awk -v p="$platform" -v r="$round" -v n="$name" -v s="$share" -v f="$floor_box" -v fp="$floor_polls" \
            -v t="$ticks" -v d="$decoded" -v x="$xshare" 'BEGIN {
            printf "   %-9s round %d  %-13s  program %5.2f %%  floor %5.2f %% (polls only %5.2f %%)  above %5.2f  ratio %4.2f  %s ticks/s  %s %% decoded%s\n",
                p, r, n, s, f, fp, s - f, s / f, t, d, x == "" ? "" : "  X server " x " %" }'
    done <"$work/round"
    rm -f "$work/round"
}

# median: the middle of the numbers on standard input (the mean of the two middle ones).
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# summary NAME [LIMIT]: the setting's medians, judged against LIMIT when given.
summary() {
    file=$work/$platform-$1
    limit=${2:-}
    [ -s "$file" ] || return
    above=$(awk '{ print $1 - $2 }' "$file" | median)
    ratio=$(awk '{ print $1 / $2 }' "$file" | median)
    target=${limit:+target <= $limit points; }
    printf 'interleaved %s %s above the floor: %.2f points (%sratio %.2f, %d rounds)\n' \
        "$platform" "$1" "$above" "$target" "$ratio" "$(wc -l <"$file")"
    [ -z "$limit" ] || awk -v a="$above" -v l="$limit" 'BEGIN { exit !(a <= l) }' || failed=1
}

# frozen_runs: both settings with the chart frozen, when asked for.
frozen_runs() {
    [ "$frozen" = 1 ] || return 0
    program 51-2D-frozen --freeze-chart
    program 501-3D-frozen --points 501 --3d --freeze-chart
}

for platform in $platforms; do
    case $platform in
        offscreen) export QT_QPA_PLATFORM=offscreen; limit=1.0 ;;
        xvfb)
            command -v Xvfb >/dev/null || { echo "== xvfb: not run (no Xvfb; tools/install-deps.sh --with-x)"; continue; }
            start_xvfb
            export QT_QPA_PLATFORM=xcb DISPLAY="$display"
            limit=1.5 ;;
        *) echo "interleaved: unknown platform $platform" >&2; exit 2 ;;
    esac
    echo "== $platform: $rounds rounds of $seconds s each run"
    round=0
    while [ "$round" -lt "$rounds" ]; do
        round=$((round + 1))
        if [ $((round % 2)) -eq 1 ]; then
            floor
            program 51-2D
            program 501-3D --points 501 --3d
            frozen_runs
        else
            frozen_runs
            program 501-3D --points 501 --3d
            program 51-2D
            floor
        fi
        report_round
    done
    summary 51-2D "$limit"
    summary 501-3D "$limit"
    summary 51-2D-frozen
    summary 501-3D-frozen
    if [ -n "$xvfb" ]; then
        kill "$xvfb" 2>/dev/null
        wait "$xvfb" 2>/dev/null
        xvfb=""
    fi
done
exit "$failed"
