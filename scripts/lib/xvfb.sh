# The one way scripts/run, scripts/wine-exec and the end-to-end tests start a
# virtual X display: an Xvfb of the caller's own, on a display number that is
# free and not one another program has just given up, used only once it
# accepts connections, never reset while it runs, and stopped and waited
# for at the end, so that it is gone (lock file and socket) before anything
# else may take its number.
# shellcheck shell=bash

qj_xvfb_pid=
qj_xvfb_work=
qj_xvfb_wm_state_pid=

# qj_xvfb_start [--wm-state] DEPTH [WIDTHxHEIGHT]: starts Xvfb (default
# 1024x768) and exports DISPLAY. With --wm-state, xvfb_wm_state.py keeps the
# windows' WM_STATE as a window manager would (Wine waits for it whenever a
# window closes), and the display is handed out once it does. Fails with a
# message on stderr when no Xvfb would start.
qj_xvfb_start() {
    local wm_state=no
    if [ "${1:-}" = --wm-state ]; then
        wm_state=yes
        shift
    fi
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
            [ "$wm_state" = no ] || qj_xvfb_wm_state_start || return 1
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

# qj_xvfb_wm_state_start: starts xvfb_wm_state.py on $DISPLAY and waits until
# it watches. Debian's own Python, where python3-xlib is installed (the first
# python3 on the PATH may be another one).
qj_xvfb_wm_state_start() {
    local _wait
    /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/xvfb_wm_state.py" \
        >"$qj_xvfb_work/wm-state.log" 2>&1 &
    qj_xvfb_wm_state_pid=$!
    for _wait in $(seq 300); do
        grep -qx ready "$qj_xvfb_work/wm-state.log" 2>/dev/null && return 0
        kill -0 "$qj_xvfb_wm_state_pid" 2>/dev/null || break
        sleep 0.05
    done
    echo "the WM_STATE keeper did not start: $(tail -n 3 "$qj_xvfb_work/wm-state.log")" >&2
    qj_xvfb_stop
    return 1
}

# qj_xvfb_detach FILE: hands the display started here over to whoever calls
# qj_xvfb_stop_detached FILE, maybe another process; this one's
# qj_xvfb_stop leaves it running.
qj_xvfb_detach() {
    printf '%s %s %s\n' "$qj_xvfb_pid" "${qj_xvfb_wm_state_pid:--}" "$qj_xvfb_work" >"$1"
    qj_xvfb_pid=
    qj_xvfb_wm_state_pid=
    qj_xvfb_work=
}

# qj_running PID: true while the process runs. One that has ended but not
# been reaped yet (a display whose starter has gone belongs to init, which
# may reap late) counts as ended.
qj_running() {
    local state
    state=$(ps -o stat= -p "$1" 2>/dev/null) && [[ $state != Z* ]]
}

# qj_xvfb_stop_detached FILE: ends the display handed over in FILE and waits
# until it has gone.
qj_xvfb_stop_detached() {
    local pid wm_state_pid work _wait
    read -r pid wm_state_pid work <"$1" 2>/dev/null || return 0
    rm -f "$1"
    for pid in ${wm_state_pid#-} $pid; do
        kill "$pid" 2>/dev/null || continue
        for _wait in $(seq 100); do
            qj_running "$pid" || break
            sleep 0.05
        done
    done
    [ -n "$work" ] && rm -rf "$work"
}

# qj_xvfb_stop: ends the Xvfb of qj_xvfb_start and waits until it has gone.
qj_xvfb_stop() {
    if [ -n "$qj_xvfb_wm_state_pid" ]; then
        kill "$qj_xvfb_wm_state_pid" 2>/dev/null
        wait "$qj_xvfb_wm_state_pid" 2>/dev/null
        qj_xvfb_wm_state_pid=
    fi
    if [ -n "$qj_xvfb_pid" ]; then
        kill "$qj_xvfb_pid" 2>/dev/null
        wait "$qj_xvfb_pid" 2>/dev/null
        qj_xvfb_pid=
    fi
    [ -n "$qj_xvfb_work" ] && rm -rf "$qj_xvfb_work"
    qj_xvfb_work=
}
