#!/bin/sh
# The Windows program under Wine on a private X server (Xvfb), driven by real clicks at
# window positions: against veltrano-driver-sim on a pseudo-terminal registered as Wine's
# COM3 (the greeting and the default record seen on the far side, 64 polls a second with
# moving traces, the port let go when the window closes, a port another Windows program
# holds refused, the board pulled out and back), and against its own simulated board
# (--simulate); ended as Windows ends programs (WM_CLOSE, the session's end) while connected
# and recording; and the serial line closed with a read pending (line_close.cpp).
# WINE_E2E_SHOTS=FOLDER keeps pictures of both views there.
# Usage: wine_end_to_end.sh WINDOWS-BUILD-DIR DRIVER-SIM PORT-HOLDER-EXE LINE-CLOSE-EXE SESSION-END-EXE
set -u
. "$(dirname "$0")/wine_checks.sh"
build=$1
sim_exe=$2
holder_exe=$3
close_exe=$4
session_exe=$5
export WINEPREFIX="$build/wine" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
work=$(mktemp -d "${TMPDIR:-/tmp}/veltrano-wine-e2e.XXXXXX")
app=""
sim=""
xvfb=""
cleanup() {
    kill $app $sim $xvfb 2>/dev/null
    wineserver -k 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

start_xvfb 110

"$sim_exe" --link "$work/tty" --com COM3 >/dev/null 2>"$work/sim.log" &
sim=$!
for _ in $(seq 50); do [ -e "$work/tty" ] && break; sleep 0.1; done
wine reg add 'HKLM\Software\Wine\Ports' /v COM3 /d "$(readlink "$work/tty")" /f >/dev/null 2>&1
wineserver -k # Wine reads its ports when it starts

window=""
file_blocks="" # when set, the files the program writes may not grow past that many 512-byte blocks
start_app() { # start_app ARGS...: the program, and its window
    # Wine's own font engine leaves line edits blank: Qt's FreeType engine draws them.
    (
        if [ -n "$file_blocks" ]; then
            ulimit -f "$file_blocks"
            trap '' XFSZ # a write past the limit fails, as on a full disk
        fi
        WINEQT_QPA_PLATFORM=windows:fontengine=freetype exec wine "$build/veltrano.exe" "$@"
    ) >"$work/app.log" 2>&1 &
    app=$!
    window=""
    for _ in $(seq 120); do
        window=$(xdotool search --name '^VELTRANO( - recording .*)?$' 2>/dev/null | head -n 1)
        [ -n "$window" ] && break
        sleep 0.5
    done
    [ -n "$window" ] || { echo "the window did not appear"; cat "$work/app.log"; return 1; }
    sleep 1
}
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep "${3:-1}"; }
end_app() { # End, and the program is gone within 10 s
    click 80 516 0
    for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || return 0; sleep 0.1; done
    return 1
}
logged() { grep -q -- "$1" "$work/sim.log"; }
logged_count() { grep -c -- "$1" "$work/sim.log"; }
# Two pictures of the window half a second apart differ: the traces move.
moving() {
    import -window "$window" "$work/a.png" && sleep 0.5 && import -window "$window" "$work/b.png" || return 1
    [ "$(compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1 | cut -d' ' -f1)" != 0 ]
}
# Two whole seconds with 60 to 68 polls each.
polling() { [ "$(grep -cE 'polls 6[0-8] in the last second' "$work/sim.log")" -ge 2 ]; }

# A GUI program that still answers on the console it was started from.
check "--version prints to the console" sh -c "wine '$build/veltrano.exe' --version | grep -q '^veltrano [0-9]'"

# Over the pseudo-terminal.
if start_app; then
    click 648 54 1.5 # CONNECTING
    check "connecting greets the board" logged "rx A (greeting)"
    click 568 488 1.5 # LOAD DATA
    check "LOAD DATA sends the default record" logged "rx record C2600=1=10=2=0=1F"
    click 80 356 1.5 # RUN
    check "RUN reaches the board" logged "rx J (run)"
    [ -n "${WINE_E2E_SHOTS:-}" ] && import -window "$window" "$WINE_E2E_SHOTS/setup-view-wine.png"
    click 80 292 3.5 # SIMULATION
    check "the chart view polls 64 times a second" polling
    check "the traces move" moving
    [ -n "${WINE_E2E_SHOTS:-}" ] && import -window "$window" "$WINE_E2E_SHOTS/chart-view-wine.png"
    check "End closes the program" end_app
    sleep 1.5
    check "the port is let go" logged "client closed the line"
else
    check "the window appears" false
fi

# The line closed twenty times with its reader waiting, half of them with an answer coming.
check "a close with a read pending returns at once" wine "$close_exe" COM3

# Ended by the system while connected, polling and recording: WM_CLOSE (taskkill without
# /F), and logoff (WM_QUERYENDSESSION, WM_ENDSESSION, and the process terminated as soon as
# it is answered, which End has run by then). The port is let go and the recording whole:
# the header, at least a second of rows, each complete.
whole_rows() {
    [ "$(head -n 1 "$1")" = "t_ms,x,Data_0,Data_1,Data_2,Data_3" ] || return 1
    [ "$(tail -c 1 "$1" | od -An -c | tr -d ' ')" = '\n' ] || return 1
    [ "$(tail -n +2 "$1" | grep -c .)" -ge 64 ] || return 1
    [ "$(tail -n +2 "$1" | grep -cvE '^[0-9]+,[0-9.e+-]+,[0-9]+,[0-9]+,[0-9]+,[0-9]+$')" = 0 ]
}
gone() { # the program ends within 10 s
    for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || return 0; sleep 0.1; done
    return 1
}
for how in taskkill logoff; do
    record=$work/$how.csv
    start_app --record "$(winepath -w "$record")" || { check "$how: the window appears" false; continue; }
    click 648 54 1.5 # CONNECTING
    click 80 292 2.5 # SIMULATION
    let_go=$(logged_count "client closed the line")
    if [ "$how" = taskkill ]; then
        wine taskkill /IM veltrano.exe >/dev/null 2>&1
        check "taskkill: the program ends" gone
        sleep 1
    else
        wine "$session_exe" VELTRANO >"$work/end.out" 2>&1
        check "logoff: End ran before the answer to WM_ENDSESSION" \
            grep -q '^the session may end: yes; closed by the answer: yes' "$work/end.out"
        check "logoff: the process is gone" gone
        sleep 1
    fi
    check "$how: the port is let go" [ "$(logged_count "client closed the line")" -gt "$let_go" ]
    check "$how: the recording is whole" whole_rows "$record"
done

# A recording that meets a full disk (its file may not grow past 4 KiB) stops with its whole
# rows kept and says how many; the program goes on.
record=$work/full.csv
file_blocks=8
if start_app --record "$(winepath -w "$record")"; then
    file_blocks=""
    click 648 54 1.5 # CONNECTING
    click 80 292 5 # SIMULATION: some 190 rows fill 4 KiB in 3 s
    kept=$(sed -n 's/.*The recording stopped: .*\. \([0-9]*\) rows were kept in .*/\1/p' "$work/app.log" | head -n 1)
    check "full disk: the recording stops and says so" [ -n "$kept" ]
    check "full disk: its rows are whole" whole_rows "$record"
    check "full disk: the rows it names are the file's" [ "$(($(wc -l <"$record") - 1))" = "${kept:-x}" ]
    check "full disk: the program goes on" kill -0 "$app"
    [ -n "${WINE_E2E_VERBOSE:-}" ] && { grep "recording stopped" "$work/app.log"; wc -c "$record"; tail -n 2 "$record"; }
    xdotool key --window "$window" Return # the message
    sleep 1
    end_app || kill "$app"
fi
file_blocks=""

# A port another Windows program holds is not connected. Windows keeps a COM port to the
# one program that opened it; Wine (8.0) lets a second one open it too, and then there is
# nothing to refuse: the case is skipped, saying so.
greetings=$(logged_count "rx A (greeting)")
hold() { # hold NAME FD: a holder of COM3 until FD is closed; its first line in $work/NAME.out
    mkfifo "$work/$1.in"
    wine "$holder_exe" COM3 <"$work/$1.in" >"$work/$1.out" 2>&1 &
    eval "exec $2>\"\$work/\$1.in\""
    for _ in $(seq 100); do [ -s "$work/$1.out" ] && break; sleep 0.1; done
}
hold first 7
check "another program holds COM3" grep -q '^held' "$work/first.out"
hold second 8
exec 8>&-
if grep -q '^held' "$work/second.out"; then
    echo "SKIP   : a held port is not connected (Wine let a second program open a held COM3)"
elif start_app; then
    click 648 54 1.5 # CONNECTING
    check "a held port is not connected" [ "$(logged_count "rx A (greeting)")" = "$greetings" ]
    end_app
fi
exec 7>&-
sleep 1

# The program's own simulated board, as COM5 beside COM3.
if start_app --simulate=COM5; then
    click 648 54 1.5 # CONNECTING (the search shows the highest port, COM5)
    click 568 488 1.5 # LOAD DATA
    click 80 356 1.5 # RUN
    click 80 292 3.5 # SIMULATION
    check "--simulate: the traces move" moving
    check "--simulate: no byte reached COM3" [ "$(logged_count "rx A (greeting)")" = "$greetings" ]
    check "--simulate: End closes the program" end_app
fi

# The board pulled out while the chart view polls (the simulator's line goes away for three
# seconds): the program carries on, and once it is back one search and one click connect it.
kill $sim 2>/dev/null
wait $sim 2>/dev/null
"$sim_exe" --link "$work/tty2" --com COM3 --close-after 12 --reappear-after 3 >/dev/null 2>"$work/sim.log" &
sim=$!
for _ in $(seq 50); do [ -e "$work/tty2" ] && break; sleep 0.1; done
wine reg add 'HKLM\Software\Wine\Ports' /v COM3 /d "$(readlink "$work/tty2")" /f >/dev/null 2>&1
wineserver -k
if start_app; then
    click 648 54 1 # CONNECTING
    click 80 292 1 # SIMULATION
    for _ in $(seq 200); do logged "pulled out" && break; sleep 0.1; done
    check "the board was pulled out while polled" logged "pulled out"
    for _ in $(seq 100); do [ "$(grep -c 'linked at' "$work/sim.log")" -ge 2 ] && break; sleep 0.1; done
    sleep 1
    check "the program carries on without its board" kill -0 "$app"
    click 80 292 1 # back to the setup view
    click 488 54 1 # FIND COM
    click 648 54 2 # CONNECTING
    check "one click connects again" [ "$(logged_count "rx A (greeting)")" = 2 ]
    end_app
fi

totals
