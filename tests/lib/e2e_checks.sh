# Shared by the end-to-end tests of the program (the Windows one under Wine,
# the native one): checks that count failures, and ways to wait for the
# program and read its window from outside with xdotool and xwininfo.
#
# The sourcing script sets program_pid to the program's process and reads
# failures at the end (finish_checks).
# shellcheck shell=bash

failures=0
program_pid=

# check DESCRIPTION COMMAND...: runs the command, says ok or FAILED, counts.
check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what"
        failures=$((failures + 1))
    fi
}

# fail_now DESCRIPTION: a failure after which nothing else can be checked.
fail_now() {
    echo "FAILED: $*"
    exit 1
}

# finish_checks SCENARIO: the verdict and the script's status.
finish_checks() {
    if [ "$failures" -ne 0 ]; then
        echo "$1: $failures check(s) failed"
        exit 1
    fi
    echo "$1: all checks passed"
    exit 0
}

# wait_for_exit SECONDS: sets status to the program's exit status, or to
# nothing when it still runs after SECONDS. (Not in a subshell: only the
# program's parent shell can wait for it.)
wait_for_exit() {
    status=
    for _ in $(seq $(($1 * 10))); do
        if ! kill -0 "$program_pid" 2>/dev/null; then
            wait "$program_pid"
            status=$?
            program_pid=
            return
        fi
        sleep 0.1
    done
}

# find_window PATTERN SECONDS: the first visible window whose name matches,
# or nothing once the program has ended or SECONDS have passed.
find_window() {
    local window
    for _ in $(seq $(($2 * 5))); do
        window=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
        if [ -n "$window" ]; then
            echo "$window"
            return
        fi
        [ -z "$program_pid" ] || kill -0 "$program_pid" 2>/dev/null || return
        sleep 0.2
    done
}

# wait_for_rate WINDOW SECONDS: waits until the caption shows a non-zero
# rate; prints the last caption read.
wait_for_rate() {
    local caption=
    for _ in $(seq $(($2 * 10))); do
        caption=$(xdotool getwindowname "$1" 2>/dev/null)
        if [[ $caption =~ ^Quenlixor\ Julia\ Animator\ FPS:[1-9][0-9]*$ ]]; then
            break
        fi
        sleep 0.1
    done
    echo "$caption"
}

# check_paced_rate WINDOW LOW HIGH: called once the caption shows its first
# rate (wait_for_rate). Past that first span the caption never shows more
# than HIGH, and shows LOW to HIGH at least once. The first span counts the
# frame rendered at the start too, and ends on the first frame after a
# tick count that moves in steps of up to 16 ms on Windows, so it may show
# one or two more (63 at --fps 60): its caption, which stays up to a second,
# is let go by. On a machine busy with other work a second may fall short,
# so the caption is read for up to 12 s, until it has shown a rate in the
# span.
check_paced_rate() {
    local rates=() in_span=no above=no caption rate
    sleep 1.5
    for _ in $(seq 24); do
        sleep 0.5
        caption=$(xdotool getwindowname "$1" 2>/dev/null)
        rate=${caption##*:}
        [[ $rate =~ ^[0-9]+$ ]] || continue
        rates+=("$rate")
        [ "$rate" -gt "$3" ] && above=yes
        [ "$rate" -ge "$2" ] && [ "$rate" -le "$3" ] && in_span=yes
        [ "$in_span" = yes ] && [ "${#rates[@]}" -ge 6 ] && break
    done
    check "the rate stays within $2 to $3 (rates read: ${rates[*]})" \
        [ "$in_span" = yes -a "$above" = no ]
}

# read_geometry WINDOW: sets x, y, w and h to the window's position on the
# screen and its size. On a bare Xvfb (no window manager) the X window is
# the client area.
read_geometry() {
    local geometry
    geometry=$(xwininfo -id "$1")
    x=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$geometry")
    y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$geometry")
    w=$(sed -n 's/.*Width: *//p' <<<"$geometry")
    h=$(sed -n 's/.*Height: *//p' <<<"$geometry")
}

# send_key WINDOW KEY: the key pressed with the window in front.
send_key() {
    xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1" 2>/dev/null
    xdotool key --clearmodifiers "$2"
}
