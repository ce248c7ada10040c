#!/usr/bin/env bash
# The virtual displays of scripts/lib/xvfb.sh: each start gets a display of
# its own that accepts clients at once, even with another started at the
# same moment; the display keeps its state while clients come and go (an X
# server that resets when its last client leaves refuses whoever connects
# meanwhile); once stopped, its number is free again; and with --wm-state it
# keeps the windows' WM_STATE as a window manager would, and nothing else.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../lib/e2e_checks.sh
source "$here/../lib/e2e_checks.sh"
# shellcheck source=../../scripts/lib/xvfb.sh
source "$here/../../scripts/lib/xvfb.sh"
work=$(mktemp -d)
trap 'qj_xvfb_stop; rm -rf "$work"' EXIT

# Two displays started at once, each in a process of its own, as two tests
# of a parallel run start theirs.
for which in a b; do
    (
        qj_xvfb_start 24 640x480 || exit 1
        echo "$DISPLAY" >"$work/display-$which"
        xprop -root -f _QJ_PROBE 8s -set _QJ_PROBE "$which" &&
            xprop -root _QJ_PROBE >"$work/probe-$which" 2>&1
        qj_xvfb_stop
    ) &
done
wait
a=$(cat "$work/display-a" 2>/dev/null) b=$(cat "$work/display-b" 2>/dev/null)
check "two displays started at once both came up (${a:-none} and ${b:-none})" [ -n "$a" -a -n "$b" ]
check "and are not the same one" [ "$a" != "$b" ]
for which in a b; do
    check "display $which answered its client ($(cat "$work/probe-$which" 2>/dev/null))" \
        grep -q "_QJ_PROBE(STRING) = \"$which\"" "$work/probe-$which"
done
for display in $a $b; do
    number=${display#:}
    check "display $display, stopped, has left neither lock file nor socket" \
        [ ! -e "/tmp/.X$number-lock" -a ! -e "/tmp/.X11-unix/X$number" ]
done

qj_xvfb_start 16 || fail_now "no virtual display"
check "DISPLAY names the display started ($DISPLAY)" grep -qxE ':[0-9]+' <<<"$DISPLAY"
check "at the depth asked for" grep -qE 'Depth: +16$' <(xwininfo -root)
# A property on the root window lives as long as the server's generation: a
# server that reset when the client that set it left has lost it.
xprop -root -f _QJ_PROBE 8s -set _QJ_PROBE kept
sleep 0.5 # for a reset to come, were there one; nothing waits on it to pass
for _ in 1 2 3; do
    xdotool getmouselocation >/dev/null 2>&1
done
check "the display keeps its state while its clients come and go ($(xprop -root _QJ_PROBE 2>&1))" \
    grep -q '"kept"' <(xprop -root _QJ_PROBE 2>&1)
qj_xvfb_stop

# With --wm-state, a top-level window has WM_STATE Normal while it is
# mapped, and none once unmapped (Wine waits for both when it closes one).
qj_xvfb_start --wm-state 24 640x480 || fail_now "no virtual display with the WM_STATE keeper"
xlogo -geometry 100x100+10+20 &
program_pid=$!
window=$(find_window '^xlogo$' 20)
[ -n "$window" ] || fail_now "xlogo's window did not appear"
check "a mapped window is in the normal state ($(xprop -id "$window" WM_STATE 2>&1 | tr '\n' ' '))" \
    grep -q 'window state: Normal' <(xprop -id "$window" WM_STATE 2>&1)
read_geometry "$window"
# shellcheck disable=SC2154  # x and y are set by read_geometry
check "and stays where its program put it (at $x,$y)" [ "$x" = 10 -a "$y" = 20 ]
xdotool windowunmap --sync "$window"
for _ in $(seq 50); do
    xprop -id "$window" WM_STATE 2>&1 | grep -q 'not found' && break
    sleep 0.1
done
check "an unmapped window has no WM_STATE ($(xprop -id "$window" WM_STATE 2>&1))" \
    grep -q 'not found' <(xprop -id "$window" WM_STATE 2>&1)
kill "$program_pid"
wait "$program_pid" 2>/dev/null
program_pid=
finish_checks xvfb
