# Sourced by the benchmark scripts: start_private_xvfb starts an X server of this run's own
# on a display picked from the script's process id, sets $display and $xvfb (its process
# id), and waits until it takes connections; it returns 1 when it does not come up. The
# caller stops it.
start_private_xvfb() {
    display=:$((70 + $$ % 20))
    Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    for _ in $(seq 50); do
        [ -e "/tmp/.X11-unix/X${display#:}" ] && return 0
        sleep 0.1
    done
    return 1
}
