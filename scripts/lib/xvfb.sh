# The one way scripts/run, scripts/wine-exec and the end-to-end tests start a
# virtual X display: an Xvfb of the caller's own, on a display number that is
# free and not one another program has just given up, used only once it
# accepts connections, never reset while it runs, and stopped and waited
# for at the end, so that it is gone (lock file and socket) before anything
# else may take its number.
# shellcheck shell=bash

qj_xvfb_pid=
qj_xvfb_work=

# qj_xvfb_start DEPTH [WIDTHxHEIGHT]: starts Xvfb (default 1024x768) and
# exports DISPLAY. Fails with a message on stderr when no Xvfb would start.
qj_xvfb_start() {
    local depth=$1 size=${2:-1024x768} number _attempt _wait
    qj_xvfb_work=$(mktemp -d)
    for _attempt in $(seq 20); do
        # Any of many numbers, not the lowest free one (as xvfb-run -a and
        # Xvfb -displayfd alone pick): a server that is still closing may
        # have removed its lock file while its socket is still its own.
        number=$((1000 + (RANDOM * 32768 + RANDOM) % 50000))
        [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ] && continue
        # -displayfd: Xvfb writes the number once it accepts connections.
        # -noreset: an X server resets itself whenever its last client has
        # gone, and a client connecting meanwhile is refused ("cannot open
        # the display"); here clients come and go all the time (the program,
        # xdotool, xwd, Wine's processes), so it must not.
        Xvfb ":$number" -displayfd 3 -noreset -screen 0 "${size}x$depth" -nolisten tcp \
            3>"$qj_xvfb_work/display" >"$qj_xvfb_work/log" 2>&1 &
        qj_xvfb_pid=$!
        for _wait in $(seq 300); do
            [ -s "$qj_xvfb_work/display" ] && break
            kill -0 "$qj_xvfb_pid" 2>/dev/null || break
            sleep 0.1
        done
        if [ "$(cat "$qj_xvfb_work/display" 2>/dev/null)" = "$number" ]; then
            DISPLAY=:$number
            export DISPLAY
            return 0
        fi
        # Taken after all, or too slow: this one goes, another number is tried.
        kill "$qj_xvfb_pid" 2>/dev/null
        wait "$qj_xvfb_pid" 2>/dev/null
        qj_xvfb_pid=
    done
    echo "Xvfb did not start: $(tail -n 3 "$qj_xvfb_work/log" 2>/dev/null)" >&2
    return 1
}

# qj_xvfb_stop: ends the Xvfb of qj_xvfb_start and waits until it has gone.
qj_xvfb_stop() {
    if [ -n "$qj_xvfb_pid" ]; then
        kill "$qj_xvfb_pid" 2>/dev/null
        wait "$qj_xvfb_pid" 2>/dev/null
        qj_xvfb_pid=
    fi
    [ -n "$qj_xvfb_work" ] && rm -rf "$qj_xvfb_work"
    qj_xvfb_work=
}
