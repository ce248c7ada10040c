#!/usr/bin/env bash
# End-to-end test of quenlixor-julia.exe: runs the real program under Wine on
# a virtual X display of its own and drives it from outside, as a user would,
# with xdotool, xwininfo and xwd.
#
#   program_e2e.sh SCENARIO BIN_DIR WINE_PREFIX [WINE_ARCH]
#
# BIN_DIR holds quenlixor-julia.exe, julia-frames.exe and e2e-frame-match.exe;
# WINE_ARCH is win32 (the default) or win64, as they are.
# Scenarios:
#   window-24, window-16  the window is centred with a 320x240 client area,
#                         the caption shows a non-zero frame rate, the client
#                         area shows a frame of the animation pixel for pixel,
#                         and a key in the window ends the program (status 0);
#                         on a desktop of depth 24 (32-bit XRGB) or 16 (5-6-5)
#   alt-f4                Alt+F4 in the window closes it: status 0
#   console-key           a key typed in the program's console ends it: status 0
#   depth-8               on an 8-bit desktop the display cannot be opened:
#                         status -1 (255 under Wine), no frame shown, and
#                         stderr says why
#   simd-mmx-16           as window-16 with QUENLIXOR_SIMD=mmx: the reference
#                         kernel and the MMX converters (--version says so)
#   simd-none-gdi-24      as window-24 with QUENLIXOR_SIMD=none (reference
#                         kernel, portable converters) and Wine's Direct3D
#                         renderer set to gdi for the program, so that
#                         DirectDraw has no hardware: the primary surface is
#                         refused in video memory and taken without it
#   scale-2               as window-24 with --scale 2: a 640x480 client area,
#                         centred, every picture pixel a 2x2 block
#   fps-60                as window-24 with --fps 60 and Wine's gdi renderer:
#                         the caption shows 55-62 (Wine's default renderer
#                         draws through OpenGL, which on a machine without a
#                         graphics card is software taking 10-50 ms a frame
#                         once the processor is busy: that is Wine's pace,
#                         not the program's)
#   bad-option            an unknown option: status 2, a message, no window
#   stop-request          SIGINT, which Wine passes to the program as Ctrl+C:
#                         status 0, and the screen saver switched on again
set -uo pipefail

scenario=${1:?scenario}
bin_dir=${2:?bin dir}
prefix=${3:?wine prefix}
wine_arch=${4:-win32}
screen_width=1024
screen_height=768

# Per scenario: the depth, the program's QUENLIXOR_SIMD, its arguments, the
# picture's scale and the name the program runs under.
simd=
arguments=()
scale=1
exe_name=quenlixor-julia.exe
case $scenario in
    window-16) depth=16 ;;
    depth-8) depth=8 ;;
    window-24 | alt-f4 | console-key | bad-option | stop-request) depth=24 ;;
    simd-mmx-16) depth=16 simd=mmx ;;
    simd-none-gdi-24) depth=24 simd=none exe_name=quenlixor-julia-gdi.exe ;;
    scale-2) depth=24 scale=2 arguments=(--scale 2) ;;
    fps-60) depth=24 arguments=(--fps 60) exe_name=quenlixor-julia-gdi.exe ;;
    *) echo "unknown scenario $scenario" >&2; exit 2 ;;
esac

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../../scripts/lib/wine.sh
source "$here/../../../scripts/lib/wine.sh"
# shellcheck source=../../../scripts/lib/xvfb.sh
source "$here/../../../scripts/lib/xvfb.sh"
# shellcheck source=../../lib/e2e_checks.sh
source "$here/../../lib/e2e_checks.sh"
qj_wine_environment "$prefix" "$wine_arch"

work=$(mktemp -d)
exe=$bin_dir/quenlixor-julia.exe
if [ "$exe_name" != quenlixor-julia.exe ]; then
    # Wine applies per-program settings by the executable's name.
    cp "$exe" "$work/$exe_name"
    exe=$work/$exe_name
fi

# shellcheck disable=SC2317  # runs from the trap
cleanup() {
    qj_wine_end
    # Wine's own processes are not the program: what they said is shown,
    # and is no failure of the program's.
    [ -s "$work/wine-session.log" ] &&
        echo "Wine's session processes said: $(head -c 300 "$work/wine-session.log")"
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
    qj_xvfb_stop
    rm -rf "$work"
}
trap cleanup EXIT
qj_xvfb_start "$depth" "${screen_width}x$screen_height" || fail_now "no virtual display"

start_program() { # start_program [console]
    if [ "${1:-}" = console ]; then
        # wineconsole gives the program a console window of its own, as
        # Windows does for a console program started from the desktop.
        wineconsole "$exe" >"$work/program.log" 2>&1 &
    else
        env ${simd:+QUENLIXOR_SIMD=$simd} wine "$exe" "${arguments[@]}" </dev/null \
            >"$work/program.log" 2>"$work/program.err" &
    fi
    program_pid=$!
}

qj_wine_prefix_ready
qj_wine_session_start "$work/wine-session.log"

case $scenario in
    window-24 | window-16 | simd-mmx-16 | simd-none-gdi-24 | scale-2 | fps-60)
        if [ -n "$simd" ]; then
            version=$(QUENLIXOR_SIMD=$simd wine "$exe" --version 2>&1 | tr -d '\r')
            case $simd in
                mmx) expected_paths='kernel: reference.*path: mmx' ;;
                none) expected_paths='kernel: reference.*path: portable' ;;
            esac
            check "--version shows the paths QUENLIXOR_SIMD=$simd leaves ($(tr '\n' ' ' <<<"$version"))" \
                grep -qzE "$expected_paths" <<<"$version"
        fi
        if [ "$exe_name" = quenlixor-julia-gdi.exe ]; then
            wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$exe_name\\Direct3D" \
                /v renderer /t REG_SZ /d gdi /f >/dev/null 2>&1 ||
                fail_now "could not set the gdi renderer for $exe_name"
        fi
        start_program
        window=$(find_window '^Quenlixor Julia' 60)
        [ -n "$window" ] || fail_now "the window did not appear ($(cat "$work/program.err"))"
        shown_at=$(date +%s%N)

        # Wine maps the client area to the X window (the frame is left to a
        # window manager, which a bare Xvfb lacks), so the X window's geometry
        # is the client area's. The frame is as wide left as right, so a
        # centred window has its client area centred horizontally, and lower
        # than the centre by half the caption's height.
        read_geometry "$window"
        client_w=$((320 * scale))
        client_h=$((240 * scale))
        check "client area is ${client_w}x${client_h} (is ${w}x${h})" \
            [ "$w" = "$client_w" -a "$h" = "$client_h" ]
        centre_x=$(((screen_width - client_w) / 2))
        centre_y=$(((screen_height - client_h) / 2))
        check "client area centred horizontally at x=$centre_x (is $x)" [ "$x" = "$centre_x" ]
        check "client area centred vertically below a caption (y=$y, centre $centre_y)" \
            [ "$y" -gt "$centre_y" -a "$y" -le $((centre_y + 30)) ]

        caption=$(wait_for_rate "$window" 20)
        elapsed_ms=$((($(date +%s%N) - shown_at) / 1000000))
        check "caption shows a non-zero rate (\"$caption\" after $elapsed_ms ms)" \
            grep -qxE 'Quenlixor Julia Animator FPS:[1-9][0-9]*' <<<"$caption"
        echo "frame rate at depth $depth: ${caption##*:} frames per second"
        if [ "$scenario" = fps-60 ]; then
            check_paced_rate "$window" 55 62
        fi

        xwd -silent -id "$window" >"$work/window.xwd" || fail_now "xwd could not read the window"
        send_key "$window" a
        wait_for_exit 30
        check "a key in the window ends the program with status 0 (status ${status:-still running})" \
            [ "${status:-x}" = 0 ]

        # Which frame was on the screen? Then the same frame from julia-frames.
        check "nothing on stderr ($(head -c 300 "$work/program.err"))" [ ! -s "$work/program.err" ]

        # The frame matcher and julia-frames run with the default paths,
        # whatever the program was capped to.
        frame=$(wine "$bin_dir/e2e-frame-match.exe" find "$work/window.xwd" 1 100000 "$scale" 2>"$work/match.log" | tr -d '\r')
        check "the window shows a frame of the animation (frame ${frame:-none}: $(cat "$work/match.log"))" \
            [ -n "$frame" ]
        if [ -n "$frame" ]; then
            wine "$bin_dir/julia-frames.exe" --frame "$frame" --raw "$work/frame.raw" \
                >"$work/julia-frames.log" 2>&1 ||
                echo "julia-frames failed: $(cat "$work/julia-frames.log")"
            verdict=$(wine "$bin_dir/e2e-frame-match.exe" compare "$work/window.xwd" "$work/frame.raw" "$scale" 2>&1 | tr -d '\r')
            check "window equals julia-frames --frame $frame in the desktop's format ($verdict)" \
                [ "$verdict" = "0 pixels differ" ]
        fi
        ;;
    alt-f4)
        start_program
        window=$(find_window '^Quenlixor Julia' 60)
        [ -n "$window" ] || fail_now "the window did not appear"
        caption=$(wait_for_rate "$window" 20)
        send_key "$window" alt+F4
        wait_for_exit 30
        check "Alt+F4 closes the window and ends the program with status 0 (status ${status:-still running})" \
            [ "${status:-x}" = 0 ]
        ;;
    console-key)
        start_program console
        window=$(find_window '^Quenlixor Julia' 60)
        [ -n "$window" ] || fail_now "the window did not appear"
        console=$(find_window 'quenlixor-julia\.exe' 30)
        [ -n "$console" ] || fail_now "the program's console window did not appear"
        caption=$(wait_for_rate "$window" 20)
        check "the program runs with its console (\"$caption\")" [ -n "$caption" ]
        # A click puts the console in front. Under Wine the first key after
        # the focus moves between the two windows can be lost on its way to
        # the console, so a few keys are typed, a second apart.
        xdotool mousemove --window "$console" 40 40 click 1
        sleep 1
        for _ in 1 2 3; do
            xdotool key x
            wait_for_exit 1
            [ -n "$status" ] && break
        done
        [ -n "$status" ] || wait_for_exit 20
        check "a key in the console ends the program with status 0 (status ${status:-still running})" \
            [ "${status:-x}" = 0 ]
        ;;
    depth-8)
        start_program
        shown_rate=
        for _ in $(seq 300); do
            kill -0 "$program_pid" 2>/dev/null || break
            if xdotool search --name 'Animator FPS' >/dev/null 2>&1; then shown_rate=yes; fi
            sleep 0.1
        done
        wait_for_exit 5
        check "an 8-bit desktop ends the program with status -1, 255 under Wine (status ${status:-still running})" \
            [ "${status:-x}" = 255 ]
        check "no frame was shown (no frame-rate caption)" [ -z "$shown_rate" ]
        check "stderr says why ($(cat "$work/program.err"))" grep -qx \
            'cannot open the display: desktop format: 8 bits per pixel .*is not supported.*' \
            <(tr -d '\r' <"$work/program.err")
        ;;
    bad-option)
        arguments=(--no-such-option)
        start_program
        window=$(find_window '^Quenlixor Julia' 5)
        wait_for_exit 20
        check "an unknown option ends the program with status 2 (status ${status:-still running})" \
            [ "${status:-x}" = 2 ]
        check "no window was opened" [ -z "$window" ]
        check "stderr names the option ($(head -1 "$work/program.err"))" \
            grep -q -- '--no-such-option' "$work/program.err"
        ;;
    stop-request)
        start_program
        window=$(find_window '^Quenlixor Julia' 60)
        [ -n "$window" ] || fail_now "the window did not appear ($(cat "$work/program.err"))"
        caption=$(wait_for_rate "$window" 20)
        # The screen saver's running setting, which display_open switches
        # off; Wine keeps it among the session's temporary parameters.
        screen_saver() {
            wine reg query 'HKCU\Software\Wine\Temporary System Parameters\Control Panel\Desktop' \
                /v ScreenSaveActive 2>/dev/null | tr -d '\r' | awk '/ScreenSaveActive/ { print $3 }'
        }
        check "the screen saver is off while the program runs ($(screen_saver))" \
            [ "$(screen_saver)" = 0 ]
        kill -INT "$program_pid"
        wait_for_exit 30
        check "SIGINT (Ctrl+C to the program) ends it with status 0 (status ${status:-still running})" \
            [ "${status:-x}" = 0 ]
        check "the screen saver is on again ($(screen_saver))" [ "$(screen_saver)" != 0 ]
        ;;
esac

finish_checks "$scenario"
