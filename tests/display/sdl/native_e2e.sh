#!/usr/bin/env bash
# End-to-end test of the native quenlixor-julia (SDL2 display): runs the real
# program on a virtual X display of its own (Xvfb, no window manager) and
# drives it from outside, as a user would, with xdotool, xwininfo, xwd, tmux.
#
#   native_e2e.sh SCENARIO BIN_DIR
#
# BIN_DIR holds quenlixor-julia, julia-frames, e2e-frame-match and
# e2e-close-request. QUENLIXOR_E2E_EMULATOR, when set, is the command (words
# split at spaces) that runs the first three, built for another processor
# (qemu-aarch64); the X tools are this machine's.
# Scenarios:
#   window-24, window-16  the window is centred with a 320x240 client area,
#                         the caption shows a non-zero rate, the window shows
#                         a frame of the animation pixel for pixel, and a key
#                         in the window ends the program with status 0; on a
#                         desktop of depth 24 or 16
#   close                 a close request (WM_DELETE_WINDOW, the close
#                         button's message) ends it with status 0
#   scale-2               --scale 2: a centred 640x480 window, every picture
#                         pixel an exact 2x2 block
#   fps-60                --fps 60: the caption reads 55 to 62
#   no-display            no X display: the program ends by itself with status
#                         255 and one line on stderr
#   terminal              a key typed in its terminal ends it with status 0,
#                         and so do Ctrl+C and SIGTERM; the terminal's
#                         settings are as before every way
set -uo pipefail

scenario=${1:?scenario}
bin_dir=${2:?bin dir}
screen_width=1024
screen_height=768

case $scenario in
    window-16) depth=16 ;;
    window-24 | close | scale-2 | fps-60 | no-display | terminal) depth=24 ;;
    *) echo "unknown scenario $scenario" >&2; exit 2 ;;
esac

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../lib/e2e_checks.sh
source "$here/../../lib/e2e_checks.sh"
# shellcheck source=../../../scripts/lib/xvfb.sh
source "$here/../../../scripts/lib/xvfb.sh"

program=$bin_dir/quenlixor-julia
# shellcheck disable=SC2206  # split at spaces on purpose
emulator=(${QUENLIXOR_E2E_EMULATOR:-})
work=$(mktemp -d)
tmux_socket=

# shellcheck disable=SC2317  # runs from the trap
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
    [ -n "$tmux_socket" ] && tmux -S "$tmux_socket" kill-server 2>/dev/null
    qj_xvfb_stop
    rm -rf "$work"
}
trap cleanup EXIT

# A virtual display of our own.
if [ "$scenario" != no-display ]; then
    qj_xvfb_start "$depth" "${screen_width}x$screen_height" || fail_now "no virtual display"
    unset WAYLAND_DISPLAY SDL_VIDEODRIVER
fi

start_program() { # start_program [ARGS...]
    "${emulator[@]}" "$program" "$@" </dev/null >"$work/program.log" 2>&1 &
    program_pid=$!
}

# check_geometry WINDOW WIDTH HEIGHT: the client area's size, centred (with
# no window manager the X window is the client area).
check_geometry() {
    local x y w h
    read_geometry "$1"
    check "client area is ${2}x$3 (is ${w}x$h)" [ "$w" = "$2" -a "$h" = "$3" ]
    check "client area centred at $(((screen_width - $2) / 2)),$(((screen_height - $3) / 2)) (is $x,$y)" \
        [ "$x" = $(((screen_width - $2) / 2)) -a "$y" = $(((screen_height - $3) / 2)) ]
}

# check_picture XWD SCALE: the dump shows a frame of the animation, equal in
# every pixel to the same frame from julia-frames.
check_picture() {
    local frame verdict
    frame=$("${emulator[@]}" "$bin_dir/e2e-frame-match" find "$1" 1 100000 "$2" 2>"$work/match.log")
    check "the window shows a frame of the animation (frame ${frame:-none}: $(cat "$work/match.log"))" \
        [ -n "$frame" ]
    [ -n "$frame" ] || return
    "${emulator[@]}" "$bin_dir/julia-frames" --frame "$frame" --raw "$work/frame.raw" >"$work/julia-frames.log" 2>&1 ||
        echo "julia-frames failed: $(cat "$work/julia-frames.log")"
    verdict=$("${emulator[@]}" "$bin_dir/e2e-frame-match" compare "$1" "$work/frame.raw" "$2" 2>&1)
    check "window equals julia-frames --frame $frame in the desktop's format ($verdict)" \
        [ "$verdict" = "0 pixels differ" ]
}

case $scenario in
    window-24 | window-16)
        start_program
        window=$(find_window '^Quenlixor Julia' 30)
        [ -n "$window" ] || fail_now "the window did not appear ($(cat "$work/program.log"))"
        check_geometry "$window" 320 240
        caption=$(wait_for_rate "$window" 20)
        check "caption shows a non-zero rate (\"$caption\")" \
            grep -qxE 'Quenlixor Julia Animator FPS:[1-9][0-9]*' <<<"$caption"
        echo "frame rate at depth $depth: ${caption##*:} frames per second"
        xwd -silent -id "$window" >"$work/window.xwd" || fail_now "xwd could not read the window"
        send_key "$window" a
        wait_for_exit 30
        check "a key in the window ends the program with status 0 (status ${status:-still running})" \
            [ "${status:-x}" = 0 ]
        check_picture "$work/window.xwd" 1
        ;;
    close)
        start_program
        window=$(find_window '^Quenlixor Julia' 30)
        [ -n "$window" ] || fail_now "the window did not appear ($(cat "$work/program.log"))"
        wait_for_rate "$window" 20 >/dev/null
        "$bin_dir/e2e-close-request" "$window" || fail_now "could not send the close request"
        wait_for_exit 30
        check "a close request ends the program with status 0 (status ${status:-still running})" \
            [ "${status:-x}" = 0 ]
        [ -n "$status" ] || echo "window $window: $(xprop -id "$window" WM_PROTOCOLS 2>&1); $(xdotool getwindowname "$window" 2>&1)"
        ;;
    scale-2)
        start_program --scale 2
        window=$(find_window '^Quenlixor Julia' 30)
        [ -n "$window" ] || fail_now "the window did not appear ($(cat "$work/program.log"))"
        check_geometry "$window" 640 480
        wait_for_rate "$window" 20 >/dev/null
        xwd -silent -id "$window" >"$work/window.xwd" || fail_now "xwd could not read the window"
        send_key "$window" a
        wait_for_exit 30
        check "a key ends the program with status 0 (status ${status:-still running})" \
            [ "${status:-x}" = 0 ]
        check_picture "$work/window.xwd" 2
        ;;
    fps-60)
        start_program --fps 60
        window=$(find_window '^Quenlixor Julia' 30)
        [ -n "$window" ] || fail_now "the window did not appear ($(cat "$work/program.log"))"
        wait_for_rate "$window" 20 >/dev/null
        check_paced_rate "$window" 55 62
        send_key "$window" a
        wait_for_exit 30
        check "a key ends the program with status 0 (status ${status:-still running})" \
            [ "${status:-x}" = 0 ]
        ;;
    no-display)
        env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$program" </dev/null \
            >"$work/program.log" 2>&1 &
        program_pid=$!
        wait_for_exit 20
        check "without a display the program ends by itself with status 255 (status ${status:-still running})" \
            [ "${status:-x}" = 255 ]
        check "and says why in one line ($(cat "$work/program.log"))" \
            [ "$(wc -l <"$work/program.log")" = 1 -a -n "$(grep 'display' "$work/program.log")" ]
        ;;
    terminal)
        # The program in a pseudo-terminal of tmux, with the terminal's
        # settings written down before and after it.
        for way in key ctrl-c sigterm; do
            rm -f "$work/before" "$work/after" "$work/status"
            tmux_socket=$work/tmux-$way # a server of its own each time
            tmux -S "$tmux_socket" -f /dev/null new-session -d -x 80 -y 24 \
                "stty -g >'$work/before'; '$program'; echo \$? >'$work/status'; stty -g >'$work/after'; exec sleep 600" ||
                fail_now "tmux could not start a session"
            # The pane outlives the program, so that what it said stays there
            # to be read.
            window=$(find_window '^Quenlixor Julia' 30)
            [ -n "$window" ] || fail_now "the window did not appear from the terminal (status $(cat "$work/status" 2>/dev/null || echo 'still running'); the terminal shows: $(tmux -S "$tmux_socket" capture-pane -p 2>&1 | tr -s "\n" " "))"
            wait_for_rate "$window" 20 >/dev/null
            case $way in
                key) tmux -S "$tmux_socket" send-keys x ;;
                ctrl-c) tmux -S "$tmux_socket" send-keys C-c ;;
                sigterm) kill -TERM "$(xdotool getwindowpid "$window")" ;;
            esac
            for _ in $(seq 100); do
                [ -s "$work/after" ] && break
                sleep 0.1
            done
            check "$way in the terminal ends the program with status 0 (status $(cat "$work/status" 2>/dev/null || echo 'still running'))" \
                [ "$(cat "$work/status" 2>/dev/null)" = 0 ]
            check "$way: the terminal's settings are restored" \
                [ -s "$work/before" -a "$(cat "$work/before")" = "$(cat "$work/after" 2>/dev/null)" ]
            tmux -S "$tmux_socket" kill-server 2>/dev/null
            tmux_socket=
        done
        ;;
esac

finish_checks "$scenario"
