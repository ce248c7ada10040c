# A Wayland desktop for the native program's end-to-end tests: weston nested
# in the virtual X display of qj_xvfb_start (its X11 backend, which has a
# seat: Debian 12's SDL 2.26 crashes in SDL_Init on weston's headless
# backend, which has none), drawing with pixman, with no XWayland, and
# screenshots of its whole output (weston-screenshooter, which --debug
# allows) as binary PPM files (pngtopnm).
# shellcheck shell=bash

qj_weston_pid=
qj_weston_runtime=
# The name of its socket, for the clients' WAYLAND_DISPLAY; their
# XDG_RUNTIME_DIR is qj_weston_runtime.
qj_weston_socket=qj-e2e

# qj_weston_start SCALE WIDTHxHEIGHT: weston on $DISPLAY, one output of
# WIDTHxHEIGHT points at the whole SCALE (its X window, at the X screen's
# top left corner, is SCALE times as large in pixels), in a runtime folder
# of its own. Returns once a screenshot can be taken, with the pointer on
# the panel at the output's top right corner, where no window goes: the
# pointer is drawn into the output, and so into the screenshots. Fails
# with a message on stderr when weston does not get that far.
qj_weston_start() {
    local scale=$1 width=${2%x*} height=${2#*x} _wait
    qj_weston_runtime=$(mktemp -d)
    chmod 700 "$qj_weston_runtime"
    mkdir "$qj_weston_runtime/shots"
    # --idle-time=0: weston's desktop would otherwise go idle after 5
    # minutes and repaint nothing more, so that screenshots never come.
    XDG_RUNTIME_DIR=$qj_weston_runtime weston --backend=x11-backend.so --use-pixman \
        --no-config --idle-time=0 --debug --socket="$qj_weston_socket" \
        --width="$width" --height="$height" --scale="$scale" \
        >"$qj_weston_runtime/weston.log" 2>&1 &
    qj_weston_pid=$!
    for _wait in $(seq 150); do
        kill -0 "$qj_weston_pid" 2>/dev/null || break
        if [ -S "$qj_weston_runtime/$qj_weston_socket" ] &&
            xdotool mousemove $((width * scale - 2)) 1 2>/dev/null &&
            qj_weston_screenshot "$qj_weston_runtime/ready.ppm" 2>/dev/null; then
            return 0
        fi
        sleep 0.2
    done
    echo "weston did not start: $(tail -n 3 "$qj_weston_runtime/weston.log" 2>/dev/null)" >&2
    qj_weston_stop
    return 1
}

# qj_weston_screenshot FILE: the whole output, as weston has it now, into
# FILE (binary PPM).
qj_weston_screenshot() {
    local shots
    rm -f "$qj_weston_runtime"/shots/*.png
    (cd "$qj_weston_runtime/shots" &&
        XDG_RUNTIME_DIR=$qj_weston_runtime WAYLAND_DISPLAY=$qj_weston_socket \
            timeout 20 weston-screenshooter) || return 1
    shots=("$qj_weston_runtime"/shots/wayland-screenshot-*.png)
    [ -e "${shots[0]}" ] && pngtopnm "${shots[0]}" >"$1" 2>/dev/null
}

# qj_weston_stop: ends weston (and the clients of its own it started) and
# removes its runtime folder.
qj_weston_stop() {
    if [ -n "$qj_weston_pid" ]; then
        kill "$qj_weston_pid" 2>/dev/null
        wait "$qj_weston_pid" 2>/dev/null
        qj_weston_pid=
    fi
    [ -n "$qj_weston_runtime" ] && rm -rf "$qj_weston_runtime"
    qj_weston_runtime=
}
