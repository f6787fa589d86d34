#!/bin/sh
# The Windows release under Wine, in a throwaway Wine prefix on a private X server: the
# installer run silently (/S) puts the program, its shortcuts and its Apps & features entry
# in place; the installed program, started as its Start-menu shortcut starts it, shows its
# window with the simulated board and ends with End; the silent uninstaller leaves nothing
# of it behind (what is left is listed). The portable zip's program runs from wherever it
# was unpacked. WINE_RELEASE_SHOTS=FOLDER runs the installer by its pages instead, keeping a
# picture of each, and of the program and the folder it leaves.
# Usage: wine_release.sh WINDOWS-BUILD-DIR VERSION
# Exit status 77 (skipped) when the release has not been made (tools/windows/build.sh --package).
set -u
. "$(dirname "$0")/wine_checks.sh"
build=$(cd "$1" && pwd)
version=$2
setup=$build/veltrano-$version-win64-setup.exe
zip=$build/veltrano-$version-win64.zip
if [ ! -f "$setup" ] || [ ! -f "$zip" ]; then
    echo "SKIP   : no release in $build (tools/windows/build.sh --package makes it)"
    exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/veltrano-wine-release.XXXXXX")
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
shots=${WINE_RELEASE_SHOTS:-}
xvfb=""
cleanup() {
    wineserver -k 2>/dev/null
    kill $xvfb 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

start_xvfb 160
wineboot -i >/dev/null 2>&1
wineserver -w

drive_c=$WINEPREFIX/drive_c
installed="$drive_c/Program Files/VELTRANO"
menu="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/VELTRANO"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VELTRANO'

wait_window() { # wait_window TITLE: its id, within 60 s
    for _ in $(seq 120); do
        id=$(xdotool search --name "$1" 2>/dev/null | head -n 1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.5
    done
    return 1
}

if [ -n "$shots" ]; then
    wine "$setup" >/dev/null 2>&1 &
    for page in welcome licence folder; do
        window=$(wait_window "VELTRANO $version Setup") || break
        sleep 1.5
        import -window "$window" "$shots/installer-$page.png"
        xdotool key --window "$window" Return
    done
    sleep 6 # the files go in
    window=$(wait_window "VELTRANO $version Setup")
    import -window "$window" "$shots/installer-finish.png"
    # Not "Start VELTRANO" here: the program is started from its shortcut below.
    xdotool key --window "$window" space Return
    wineserver -w
else
    wine "$setup" /S >/dev/null 2>&1
    wineserver -w
fi
for file in veltrano.exe README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt uninstall.exe; do
    check "installed: $file" [ -f "$installed/$file" ]
done
check "Start menu: VELTRANO" [ -f "$menu/VELTRANO.lnk" ]
check "Start menu: VELTRANO with a simulated board" [ -f "$menu/VELTRANO with a simulated board.lnk" ]
entry=$(wine reg query "$key" 2>/dev/null | tr -d '\r')
check "Apps & features: version $version" sh -c "echo '$entry' | grep -q 'DisplayVersion.*REG_SZ.*$version\$'"
check "Apps & features: publisher and size" \
    sh -c "echo '$entry' | grep -q 'Publisher' && echo '$entry' | grep -q 'EstimatedSize.*0x[1-9a-f]'"

# The shortcut's target, as the Start menu starts it.
WINEQT_QPA_PLATFORM=windows:fontengine=freetype wine start /wait /unix "$menu/VELTRANO with a simulated board.lnk" \
    >"$work/app.log" 2>&1 &
starter=$!
if window=$(wait_window '^VELTRANO$'); then
    sleep 2
    xdotool mousemove --window "$window" 648 54 click 1 # CONNECTING: the simulated board
    sleep 1.5
    xdotool mousemove --window "$window" 80 292 click 1 # SIMULATION
    sleep 2
    [ -n "$shots" ] && import -window "$window" "$shots/installed-program.png"
    check "the installed program shows its window" true
    xdotool mousemove --window "$window" 80 516 click 1 # End
    ended=no
    for _ in $(seq 100); do kill -0 "$starter" 2>/dev/null || { ended=yes; break; }; sleep 0.1; done
    check "End closes the installed program" [ "$ended" = yes ]
else
    check "the installed program shows its window" false
fi
wineserver -w

wine "$installed/uninstall.exe" /S >/dev/null 2>&1
wineserver -w # the uninstaller runs on from a copy of itself
left=$( (find "$installed" "$menu" 2>/dev/null; wine reg query "$key" >/dev/null 2>&1 && echo "registry: $key") )
[ -n "$left" ] && printf 'left after uninstalling:\n%s\n' "$left"
check "the uninstaller leaves nothing behind" [ -z "$left" ]
if [ -n "$shots" ]; then
    mkdir -p "$drive_c/Program Files" # Explorer on the folder where it was
    wine explorer "C:\\Program Files" >/dev/null 2>&1 &
    if window=$(wait_window 'Program Files'); then
        sleep 2
        import -window "$window" "$shots/uninstalled-folder.png"
    fi
    wineserver -k
fi

# The portable zip, unpacked anywhere.
mkdir -p "$work/portable"
(cd "$work/portable" && cmake -E tar xf "$zip")
portable=$work/portable/veltrano-$version-win64
check "the zip holds the program, README, licence and notices" \
    sh -c "cd '$portable' && [ -f veltrano.exe ] && [ -f README.txt ] && [ -f LICENSE.txt ] && [ -f THIRD-PARTY-NOTICES.txt ]"
check "the zip's program runs there" sh -c "wine '$portable/veltrano.exe' --version | grep -q '^veltrano $version'"

totals
