# What the Wine test scripts share, sourced by them: counted results and a private X server.

passed=0
failed=0
check() { # check WHAT COMMAND...: one result
    what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
        echo "PASS   : $what"
    else
        failed=$((failed + 1))
        echo "FAIL!  : $what"
    fi
}

# start_xvfb BASE: an Xvfb at a display number from BASE on, in $xvfb, and DISPLAY set.
start_xvfb() {
    display=:$(($1 + $$ % 50))
    Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    export DISPLAY=$display
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
}

totals() { # the closing line, and the script's status
    echo "Totals: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
