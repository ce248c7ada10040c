#!/usr/bin/env bash
# End-to-end tests of the program, the Windows quenlixor-julia.exe under Wine
# and the native quenlixor-julia (SDL2): the real program on a virtual X
# display, driven from outside as a user would, with xdotool, xwininfo, xwd
# and tmux.
#
#   program_e2e.sh scenarios TARGET
#       Lists the scenarios TARGET runs, one a line with its screen depth:
#       windows-32 and windows-64 (the two Windows builds), native, and
#       native-emulated (a native build for another processor, under qemu).
#   program_e2e.sh SCENARIO BIN_DIR [WINE_PREFIX [WINE_ARCH]]
#       Runs one scenario. BIN_DIR holds the program, julia-frames and
#       e2e-frame-match (and, natively, e2e-close-request). With WINE_PREFIX
#       they are the Windows ones, run under Wine (WINE_ARCH win32, the
#       default, or win64), on the shared session's display when
#       QUENLIXOR_WINE_SESSION names one (scripts/wine-session), else on a
#       display and in a Wine session of their own. Natively,
#       QUENLIXOR_E2E_EMULATOR, when set, is the command (words split at
#       spaces) that runs them, built for another processor (qemu-aarch64);
#       the X tools are this machine's.
#
# Scenarios of both programs:
#   window-24, window-16  the window is centred with a 320x240 client area,
#                         the caption shows a non-zero frame rate, the client
#                         area shows a frame of the animation pixel for pixel,
#                         and a key in the window ends the program (status 0);
#                         on a desktop of depth 24 (32-bit XRGB) or 16 (5-6-5).
#                         At depth 24 the caption, paced by default, never
#                         shows more than 62 past its first second, 61 but
#                         after a late frame (natively 55-62)
#   scale-2               as window-24 with --scale 2: a 640x480 client area,
#                         centred, every picture pixel a 2x2 block
#   fps-max               as window-24 with --fps max, the unpaced run: the
#                         caption shows more than 62, and stderr says it
#                         flashes (under Wine on its gdi renderer, which is
#                         not the pace: see simd-none-gdi-24)
#   fullscreen-1080       --fullscreen on a 1920x1080 screen: its window
#                         covers the screen, the screen (xwd of the root)
#                         holds a frame pixel for pixel in 4x4 blocks at
#                         (320, 60) and is black elsewhere, the caption
#                         shows the rate, a click goes by (and a later frame,
#                         shown from what changed frame by frame, is as
#                         exact), and a key ends it with status 0. Under
#                         Wine on a display and in a Wine session of its
#                         own, the shared session's screen being 1024x768
# Of the Windows program:
#   simd-mmx-16           as window-16 with QUENLIXOR_SIMD=mmx: the reference
#                         kernel and the MMX converters (--version says so)
#   simd-none-gdi-24      as window-24 with QUENLIXOR_SIMD=none (reference
#                         kernel, portable converters) and Wine's Direct3D
#                         renderer set to gdi for the program, so that
#                         DirectDraw has no hardware: the primary surface is
#                         refused in video memory and taken without it; the
#                         caption, paced by default, shows 55-62 (on the gdi
#                         renderer: Wine's default renderer draws through
#                         OpenGL, which on a machine without a graphics card
#                         is software taking 10-50 ms a frame once the
#                         processor is busy: that is Wine's pace, not the
#                         program's)
#   alt-f4                Alt+F4 in the window closes it: status 0
#   console-key           a key typed in the program's console ends it: status 0
#   depth-8               on an 8-bit desktop the display cannot be opened:
#                         status -1 (255 under Wine), no frame shown, and
#                         stderr says why
#   bad-option            an unknown option: status 2, a message, no window
#   stop-request          SIGINT, which Wine passes to the program as Ctrl+C:
#                         status 0, and the screen saver switched on again
#   saver-s               the screen saver, quenlixor-julia.scr /s: its window
#                         covers the screen, which holds a frame pixel for
#                         pixel in 3x3 blocks at (32, 24), black elsewhere,
#                         and the system's screen saver is left on; a key
#                         ends it with status 0, and so, in fresh
#                         runs, do a click and a mouse move of 20 px, after
#                         a move of 1 px went by
#   saver-p               /p HWND into a window of 152x112 that
#                         e2e-preview-parent makes: the preview is a child
#                         covering its client area and shows a frame shrunk
#                         to 149x112 at (1, 0), every pixel exact, on black
#                         (where Wine shows what a child window of another
#                         process draws, which Wine 8 does not: a grey
#                         child of a second process tells);
#                         the parent destroyed, the preview's process ends
#                         by itself (the time it takes is printed), and no
#                         process of the screen saver is left
#   saver-c               /c, -C:4242 and no argument show a message box
#                         titled "Quenlixor Julia" saying it has no settings,
#                         which Enter closes, status 0; /x one naming the
#                         argument, status 2
# Of those from alt-f4 on, only full screen and the screen saver's /s, the
# product's own pictures, run with the 32-bit build too; the rest do not
# depend on the build's width and run with the 64-bit build only, which runs
# wherever 64-bit Wine does.
# Of the native program:
#   close                 a close request (WM_DELETE_WINDOW, the close
#                         button's message) ends it with status 0
#   no-display            no X display: the program ends by itself with status
#                         255 and one line on stderr
#   terminal              a key typed in its terminal ends it with status 0,
#                         and so do Ctrl+C and SIGTERM; the terminal's
#                         settings are as before every way
#   wayland-1, wayland-2  on a Wayland desktop (weston, nested in the X
#                         display, without XWayland) at output scale 1 and
#                         2: with WAYLAND_DISPLAY alone, and with DISPLAY
#                         beside it, the window is Wayland's (none on the X
#                         display) and weston's screenshot holds a frame
#                         pixel for pixel in blocks of the program's scale
#                         times the desktop's (2x2 from --scale 2 at 1 and
#                         from --scale 1 at 2; 1x1, and 4x4 from --scale 2 at
#                         2), nothing on stderr, and SIGTERM ends it with
#                         status 0. At scale 1, where Wayland cannot draw
#                         the window (no EGL), the program opens it through
#                         X11 instead, exact there, and says so and why in
#                         one line on stderr. At scale 2, --fullscreen: the
#                         output's 1440x1152 pixels hold a frame in 4x4
#                         blocks at (80, 96), black elsewhere, and no
#                         pointer drawn over it
#   window-id             --window-id into a window of another X client's
#                         (given_window.py), 700x500: a frame in 2x2 blocks
#                         at (30, 10) on black, and so again once a window
#                         over its corner has gone; resized to 1000x740, in 3x3
#                         blocks at (20, 10); the window keeps its name, a
#                         key in it goes by, and when its owner destroys
#                         it the program ends by itself with status 0,
#                         nothing on stderr
#   xscreensaver          Debian's xscreensaver, run as an unprivileged user,
#                         with the hack's command from its settings file in
#                         the programs list: once activated, the screen holds
#                         a frame pixel for pixel in 3x3 blocks at (32, 24)
#                         and is black elsewhere; once deactivated, no
#                         process of the program is left; and
#                         xscreensaver-settings previews it in its own window
#                         (--root --window-id ID), exact there too, leaving
#                         no process of it once closed
set -uo pipefail

# depth_of SCENARIO: the screen depth the scenario runs on.
depth_of() {
    case $1 in
        window-16 | simd-mmx-16) echo 16 ;;
        depth-8) echo 8 ;;
        *) echo 24 ;;
    esac
}

if [ "${1:-}" = scenarios ]; then
    pictures="window-24 window-16 scale-2 fps-max"
    case ${2:-} in
        windows-32) list="$pictures simd-mmx-16 simd-none-gdi-24 fullscreen-1080 saver-s" ;;
        windows-64) list="$pictures simd-mmx-16 simd-none-gdi-24 alt-f4 console-key depth-8 bad-option stop-request fullscreen-1080 saver-s saver-p saver-c" ;;
        native) list="$pictures close no-display terminal wayland-1 wayland-2 fullscreen-1080 window-id xscreensaver" ;;
        native-emulated) list="window-24" ;; # one run, whose picture must be exact
        *) echo "program_e2e.sh scenarios windows-32|windows-64|native|native-emulated" >&2; exit 2 ;;
    esac
    for scenario in $list; do
        echo "$scenario $(depth_of "$scenario")"
    done
    exit 0
fi

scenario=${1:?scenario}
bin_dir=${2:?bin dir}
prefix=${3:-}
wine_arch=${4:-win32}
screen_width=1024
screen_height=768
windows=no
[ -n "$prefix" ] && windows=yes

# Per scenario: the program's QUENLIXOR_SIMD, its arguments, the picture's
# scale and, under Wine, the name the program runs under.
depth=$(depth_of "$scenario")
simd=
arguments=()
scale=1
exe_name=quenlixor-julia.exe
case $windows:$scenario in
    *:window-24 | *:window-16) ;;
    *:scale-2) scale=2 arguments=(--scale 2) ;;
    yes:fps-max) arguments=(--fps max) exe_name=quenlixor-julia-gdi.exe ;;
    no:fps-max) arguments=(--fps max) ;;
    yes:simd-mmx-16) simd=mmx ;;
    yes:simd-none-gdi-24) simd=none exe_name=quenlixor-julia-gdi.exe ;;
    yes:alt-f4 | yes:console-key | yes:depth-8 | yes:stop-request) ;;
    yes:bad-option) arguments=(--no-such-option) ;;
    yes:saver-s | yes:saver-p | yes:saver-c) ;;
    no:close | no:no-display | no:terminal | no:window-id | no:xscreensaver) ;;
    *:fullscreen-1080) screen_width=1920 screen_height=1080 ;;
    no:wayland-1 | no:wayland-2)
        # Room for a window of 640x480 points with its title bar below
        # weston's panel; the X screen holds weston's window at scale 2.
        output_scale=${scenario#wayland-} screen_width=1440 screen_height=1152
        ;;
    yes:*) echo "unknown scenario $scenario for the Windows program" >&2; exit 2 ;;
    *) echo "unknown scenario $scenario for the native program" >&2; exit 2 ;;
esac

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../lib/e2e_checks.sh
source "$here/../../lib/e2e_checks.sh"
# shellcheck source=../../../scripts/lib/xvfb.sh
source "$here/../../../scripts/lib/xvfb.sh"
# shellcheck source=../../../scripts/lib/wine.sh
source "$here/../../../scripts/lib/wine.sh"
# shellcheck source=../../lib/weston.sh
source "$here/../../lib/weston.sh"

work=$(mktemp -d)
session=
tmux_socket=
client_pid=
saver_pid=
settings_pid=
if [ "$windows" = yes ]; then
    qj_wine_environment "$prefix" "$wine_arch"
    program=$bin_dir/quenlixor-julia.exe
    if [ "$exe_name" != quenlixor-julia.exe ]; then
        # Wine applies per-program settings by the executable's name.
        cp "$program" "$work/$exe_name"
        program=$work/$exe_name
    fi
    launcher=(wine)
    suffix=.exe
    saver=$bin_dir/quenlixor-julia.scr
else
    program=$bin_dir/quenlixor-julia
    # shellcheck disable=SC2206  # split at spaces on purpose
    launcher=(${QUENLIXOR_E2E_EMULATOR:-})
    suffix=
fi

# shellcheck disable=SC2317  # runs from the trap
cleanup() {
    local status=$?
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
    [ -n "$tmux_socket" ] && tmux -S "$tmux_socket" kill-server 2>/dev/null
    [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null
    [ -n "$settings_pid" ] && kill "$settings_pid" 2>/dev/null
    if [ -n "$saver_pid" ]; then
        kill "$saver_pid" 2>/dev/null
        wait "$saver_pid" 2>/dev/null
    fi
    if [ -n "$session" ]; then
        qj_wine_session_leave "$session" "$status"
    elif [ "$windows" = yes ]; then
        qj_wine_end
        # Wine's own processes are not the program: what they said is shown,
        # and is no failure of the program's.
        [ -s "$work/wine-session.log" ] &&
            echo "Wine's session processes said: $(head -c 300 "$work/wine-session.log")"
    fi
    qj_weston_stop
    qj_xvfb_stop
    rm -rf "$work"
}
trap cleanup EXIT

# A virtual display: the shared session's, or one of our own. The shared
# one is 1024x768; a scenario on a screen of another size ends the shared
# session's Wine (the prefix has one session at a time, and Wine takes its
# screen's size from the display its session started on), and the next test
# of the shared session starts it again.
if [ "$windows" = yes ] && [ "${screen_width}x$screen_height" = 1024x768 ] &&
    qj_wine_session_display "${QUENLIXOR_WINE_SESSION:-}"; then
    session=$QUENLIXOR_WINE_SESSION
    qj_wine_session_join "$session" || fail_now "Wine's session did not start"
elif [ "$scenario" != no-display ]; then
    if [ "$windows" = yes ]; then
        if qj_wine_session_display "${QUENLIXOR_WINE_SESSION:-}"; then
            qj_wine_session_leave "$QUENLIXOR_WINE_SESSION" ended
        fi
        qj_xvfb_start --wm-state "$depth" "${screen_width}x$screen_height" ||
            fail_now "no virtual display"
        qj_wine_prefix_ready
        qj_wine_session_start "$work/wine-session.log"
    else
        qj_xvfb_start "$depth" "${screen_width}x$screen_height" || fail_now "no virtual display"
        unset WAYLAND_DISPLAY SDL_VIDEODRIVER
    fi
fi

start_program() { # start_program [console]
    if [ "${1:-}" = console ]; then
        # wineconsole gives the program a console window of its own, as
        # Windows does for a console program started from the desktop.
        wineconsole "$program" >"$work/program.log" 2>&1 &
    else
        env ${simd:+QUENLIXOR_SIMD=$simd} "${launcher[@]}" "$program" "${arguments[@]}" \
            </dev/null >"$work/program.log" 2>"$work/program.err" &
    fi
    program_pid=$!
}

# What the program said, for a failure's message.
program_said() {
    cat "$work/program.log" "$work/program.err" 2>/dev/null | tr -d '\r' | head -c 300
}

# run_tool NAME ARGUMENTS...: one of the tools beside the program, run as the
# program is (julia-frames and the frame matcher with their default paths,
# whatever the program was capped to).
run_tool() {
    local name=$1
    shift
    "${launcher[@]}" "$bin_dir/$name$suffix" "$@"
}

# check_geometry WINDOW WIDTH HEIGHT: the client area's size, centred. On a
# bare Xvfb the X window is the client area: natively there is no frame, and
# Wine leaves the frame to a window manager. The frame is as wide left as
# right, so under Wine a centred window has its client area centred
# horizontally, and lower than the centre by half the caption's height.
check_geometry() {
    local x y w h centre_x=$(((screen_width - $2) / 2)) centre_y=$(((screen_height - $3) / 2))
    read_geometry "$1"
    check "client area is ${2}x$3 (is ${w}x$h)" [ "$w" = "$2" -a "$h" = "$3" ]
    check "client area centred horizontally at x=$centre_x (is $x)" [ "$x" = "$centre_x" ]
    if [ "$windows" = yes ]; then
        check "client area centred vertically below a caption (y=$y, centre $centre_y)" \
            [ "$y" -gt "$centre_y" -a "$y" -le $((centre_y + 30)) ]
    else
        check "client area centred vertically at y=$centre_y (is $y)" [ "$y" = "$centre_y" ]
    fi
}

# check_picture XWD: the dump shows a frame of the animation, equal in every
# pixel to the same frame from julia-frames.
check_picture() {
    local frame verdict
    frame=$(run_tool e2e-frame-match find "$1" 1 100000 "$scale" 2>"$work/match.log" | tr -d '\r')
    check "the window shows a frame of the animation (frame ${frame:-none}: $(cat "$work/match.log"))" \
        [ -n "$frame" ]
    [ -n "$frame" ] || return
    run_tool julia-frames --frame "$frame" --raw "$work/frame.raw" >"$work/julia-frames.log" 2>&1 ||
        echo "julia-frames failed: $(cat "$work/julia-frames.log")"
    verdict=$(run_tool e2e-frame-match compare "$1" "$work/frame.raw" "$scale" 2>&1 | tr -d '\r')
    check "window equals julia-frames --frame $frame in the desktop's format ($verdict)" \
        [ "$verdict" = "0 pixels differ" ]
}

# start_on_wayland X11 ARGUMENTS...: the program on weston's Wayland
# display with ARGUMENTS, and with the X display beside it (X11 yes) or
# none (no); extra_env holds more of its environment.
extra_env=()
start_on_wayland() {
    local no_x11=(-u DISPLAY)
    [ "$1" = yes ] && no_x11=()
    shift
    program_started=$SECONDS
    env "${no_x11[@]}" -u SDL_VIDEODRIVER XDG_RUNTIME_DIR="$qj_weston_runtime" \
        WAYLAND_DISPLAY="$qj_weston_socket" "${extra_env[@]}" "${launcher[@]}" "$program" "$@" \
        </dev/null >"$work/program.log" 2>"$work/program.err" &
    program_pid=$!
}

# find_on_screen BLOCK: takes screenshots of weston's output until one holds
# a frame of the animation in BLOCK x BLOCK blocks, for up to 60 s or until
# the program ends; sets shown to "FRAME X Y" (e2e-frame-match find-in), or
# to nothing. At --fps 2 no frame after the 2 a second since the program's
# start can be there yet, however fast or slow the machine.
find_on_screen() {
    shown=
    while [ $((SECONDS - program_started)) -lt 60 ]; do
        if qj_weston_screenshot "$work/screen.ppm"; then
            shown=$(run_tool e2e-frame-match find-in "$work/screen.ppm" 1 \
                $((2 * (SECONDS - program_started) + 10)) "$1" 2>"$work/match.log")
            [ -n "$shown" ] && return
        fi
        kill -0 "$program_pid" 2>/dev/null || return
        sleep 0.2
    done
}

# check_on_wayland X11 SCALE: the program at --scale SCALE on weston, with
# the X display beside it or not (X11 yes or no): its window shows a frame
# in weston's screenshot, pixel for pixel and every picture pixel a block of
# SCALE times the output's scale, it says nothing, it is no X window, and
# SIGTERM ends it with status 0.
check_on_wayland() {
    local beside=$1 block=$(($2 * output_scale)) frame at_x at_y verdict
    local what="--scale $2 at output scale $output_scale, WAYLAND_DISPLAY alone"
    [ "$beside" = yes ] && what="--scale $2 at output scale $output_scale, WAYLAND_DISPLAY and DISPLAY"
    start_on_wayland "$beside" --scale "$2" --fps 2
    find_on_screen "$block"
    check "$what: the screenshot holds a frame in ${block}x$block blocks (${shown:-none}: $(cat "$work/match.log"); $(program_said))" \
        [ -n "$shown" ]
    if [ -n "$shown" ]; then
        read -r frame at_x at_y <<<"$shown"
        run_tool julia-frames --frame "$frame" --raw "$work/frame.raw" >"$work/julia-frames.log" 2>&1 ||
            echo "julia-frames failed: $(cat "$work/julia-frames.log")"
        verdict=$(run_tool e2e-frame-match compare-in "$work/screen.ppm" "$work/frame.raw" \
            "$at_x" "$at_y" "$block" 2>&1)
        check "$what: it equals julia-frames --frame $frame at $at_x,$at_y ($verdict)" \
            [ "$verdict" = "0 pixels differ" ]
    fi
    if [ "$beside" = yes ]; then
        check "$what: the window is Wayland's: the X display has none" \
            [ -z "$(xdotool search --name '^Quenlixor Julia' 2>/dev/null)" ]
    fi
    kill -TERM "$program_pid" 2>/dev/null
    wait_for_exit 20
    check "$what: SIGTERM ends it with status 0 (status ${status:-still running})" [ "${status:-x}" = 0 ]
    check "$what: nothing on stderr ($(head -c 300 "$work/program.err"))" [ ! -s "$work/program.err" ]
}

# screen_shot WHAT FILE: what X has in WHAT (-root, or -id WINDOW), or
# weston's whole output (weston), as a binary PPM in FILE.
screen_shot() {
    if [ "$1" = weston ]; then
        qj_weston_screenshot "$2"
        return
    fi
    # shellcheck disable=SC2086  # WHAT is one or two words
    xwd -silent $1 2>/dev/null | xwdtopnm 2>/dev/null >"$2" && [ -s "$2" ]
}

# check_shown WHAT BLOCK X Y DESCRIPTION [settles]: takes shots of WHAT
# until one holds a frame of the animation in BLOCK x BLOCK blocks, for up
# to 60 s; the frame must be at (X, Y), equal julia-frames' in every pixel,
# on black. With "settles", until one holds it so (for a picture that is
# being drawn again). At --fps 2 (shown_fps, the pace of the program shown)
# no frame after the 2 a second since program_started can be there yet,
# however fast or slow the machine.
shown_fps=2
check_shown() {
    local what=$1 block=$2 want="$3 $4" description=$5 settles=${6:-no} started=$SECONDS
    local frame at_x at_y verdict around
    shown=
    while [ $((SECONDS - started)) -lt 60 ]; do
        if screen_shot "$what" "$work/screen.ppm"; then
            # The Windows tools end their lines with CR LF.
            shown=$(run_tool e2e-frame-match find-in "$work/screen.ppm" 1 \
                $((shown_fps * (SECONDS - program_started + 1) + 10)) "$block" 2>"$work/match.log" |
                tr -d '\r')
            if [ -n "$shown" ]; then
                read -r frame at_x at_y <<<"$shown"
                run_tool julia-frames --frame "$frame" --raw "$work/frame.raw" >"$work/julia-frames.log" 2>&1 ||
                    echo "julia-frames failed: $(cat "$work/julia-frames.log")"
                verdict=$(run_tool e2e-frame-match compare-in "$work/screen.ppm" "$work/frame.raw" \
                    "$at_x" "$at_y" "$block" 2>&1 | tr -d '\r')
                around=$(run_tool e2e-frame-match black-around "$work/screen.ppm" "$at_x" "$at_y" \
                    "$block" 2>&1 | tr -d '\r')
                [ "$settles" = no ] || [ "$at_x $at_y|$verdict|$around" = \
                    "$want|0 pixels differ|0 pixels around it are not black" ] && break
            fi
        fi
        sleep 0.2
    done
    check "$description: a frame in ${block}x$block blocks (${shown:-none}: $(cat "$work/match.log"); $(program_said))" \
        [ -n "$shown" ]
    [ -n "$shown" ] || return
    check "$description: the picture is at $want (is at $at_x $at_y)" [ "$at_x $at_y" = "$want" ]
    check "$description: it equals julia-frames --frame $frame ($verdict)" \
        [ "$verdict" = "0 pixels differ" ]
    check "$description: black around it ($around)" \
        [ "$around" = "0 pixels around it are not black" ]
}

# start_saver ARGUMENTS...: the screen saver with ARGUMENTS.
start_saver() {
    wine "$saver" "$@" </dev/null >"$work/program.log" 2>"$work/program.err" &
    program_pid=$!
}

# check_shrunk WHAT DESCRIPTION: as check_shown, for a picture shrunk into
# the whole of WHAT (e2e-frame-match find-shrunk), which is black around it;
# sets shown to "FRAME X Y W H".
check_shrunk() {
    local what=$1 description=$2 started=$SECONDS frame verdict
    shown=
    while [ $((SECONDS - started)) -lt 60 ]; do
        if screen_shot "$what" "$work/area.ppm"; then
            shown=$(run_tool e2e-frame-match find-shrunk "$work/area.ppm" 1 \
                $((shown_fps * (SECONDS - program_started + 1) + 10)) 2>"$work/match.log" |
                tr -d '\r')
            [ -n "$shown" ] && break
        fi
        kill -0 "$program_pid" 2>/dev/null || break
        sleep 0.2
    done
    check "$description: a frame shrunk (${shown:-none}: $(cat "$work/match.log"); $(program_said))" \
        [ -n "$shown" ]
    [ -n "$shown" ] || return
    read -r frame _ <<<"$shown"
    run_tool julia-frames --frame "$frame" --raw "$work/frame.raw" >"$work/julia-frames.log" 2>&1 ||
        echo "julia-frames failed: $(cat "$work/julia-frames.log")"
    verdict=$(run_tool e2e-frame-match compare-shrunk "$work/area.ppm" "$work/frame.raw" 2>&1 |
        tr -d '\r')
    check "$description: it equals julia-frames --frame $frame shrunk, on black ($verdict)" \
        [ "$verdict" = "0 pixels differ" ]
}

# screen_saver_setting: the system's screen-saver running setting, which
# the program's display_open switches off; Wine keeps it among the
# session's temporary parameters.
screen_saver_setting() {
    wine reg query 'HKCU\Software\Wine\Temporary System Parameters\Control Panel\Desktop' \
        /v ScreenSaveActive 2>/dev/null | tr -d '\r' | awk '/ScreenSaveActive/ { print $3 }'
}

# saver_processes: the processes of this build's screen saver still
# running (by its path: the package check, which may run beside, reads the
# zips' copies of it).
saver_processes() {
    pgrep -f "${saver//./\\.}" | tr '\n' ' '
}

case $scenario in
    window-24 | window-16 | simd-mmx-16 | simd-none-gdi-24 | scale-2 | fps-max)
        if [ -n "$simd" ]; then
            version=$(QUENLIXOR_SIMD=$simd wine "$program" --version 2>&1 | tr -d '\r')
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
        [ -n "$window" ] || fail_now "the window did not appear ($(program_said))"
        shown_at=$(date +%s%N)
        check_geometry "$window" $((320 * scale)) $((240 * scale))

        caption=$(wait_for_rate "$window" 20)
        elapsed_ms=$((($(date +%s%N) - shown_at) / 1000000))
        check "caption shows a non-zero rate (\"$caption\" after $elapsed_ms ms)" \
            grep -qxE 'Quenlixor Julia Animator FPS:[1-9][0-9]*' <<<"$caption"
        echo "frame rate at depth $depth: ${caption##*:} frames per second"
        case $windows:$scenario in
            # A span ends on the first frame more than a second after the
            # last: 61 frames at 60 a second, 62 where the frame it began
            # on came late (a busy machine).
            # Under an emulator or Wine's software OpenGL the frames may take
            # longer than the pace: only its ceiling is the program's.
            no:window-24)
                if [ -n "${QUENLIXOR_E2E_EMULATOR:-}" ]; then
                    check_paced_rate "$window" 1 62
                else
                    check_paced_rate "$window" 55 62
                fi
                ;;
            yes:simd-none-gdi-24) check_paced_rate "$window" 55 62 ;;
            yes:window-24) check_paced_rate "$window" 1 62 ;;
            *:fps-max)
                # Past the first span, which counts the start (under Wine,
                # its renderer's too).
                sleep 1.5
                caption=$(xdotool getwindowname "$window" 2>/dev/null)
                check "unpaced, the caption shows more than 62 (\"$caption\")" \
                    [ "${caption##*:}" -gt 62 ]
                ;;
        esac

        xwd -silent -id "$window" >"$work/window.xwd" || fail_now "xwd could not read the window"
        send_key "$window" a
        wait_for_exit 30
        check "a key in the window ends the program with status 0 (status ${status:-still running})" \
            [ "${status:-x}" = 0 ]
        if [ "$scenario" = fps-max ]; then
            check "stderr says --fps max flashes ($(head -c 300 "$work/program.err"))" \
                grep -q 'photosensitive epilepsy' "$work/program.err"
        elif [ "$windows" = yes ]; then
            check "nothing on stderr ($(head -c 300 "$work/program.err"))" [ ! -s "$work/program.err" ]
        fi
        check_picture "$work/window.xwd"
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
        # The X server's screen saver on, as a desktop starts: Wine reads
        # and sets the setting on the X server, and when a program switches
        # it on again just before it ends, Wine 8 loses the request, so a
        # program before this one on the display may have left it off (and
        # this one would rightly restore "off").
        /usr/bin/python3 -c 'from Xlib import X, display
d = display.Display()
d.set_screen_saver(600, 600, X.DefaultBlanking, X.DefaultExposures)
d.sync()' || fail_now "could not switch the display's screen saver on"
        start_program
        window=$(find_window '^Quenlixor Julia' 60)
        [ -n "$window" ] || fail_now "the window did not appear ($(program_said))"
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
    saver-s)
        # Paced at 60 frames a second, as without --fps: the frame's search
        # looks that far.
        shown_fps=60
        # The pointer rests inside the screen, where the saver finds it.
        xdotool mousemove 500 400
        # The screen saver on (see stop-request), which the program switches
        # off while it runs and the screen saver must not.
        /usr/bin/python3 -c 'from Xlib import X, display
d = display.Display()
d.set_screen_saver(600, 600, X.DefaultBlanking, X.DefaultExposures)
d.sync()' || fail_now "could not switch the display's screen saver on"
        for way in key click move; do
            start_saver /s
            program_started=$SECONDS
            window=$(find_window '^Quenlixor Julia' 60)
            [ -n "$window" ] || fail_now "/s: no window appeared ($(program_said))"
            if [ "$way" = key ]; then
                read_geometry "$window"
                check "/s: its window covers the screen (${w}x$h at $x,$y)" \
                    [ "$w $h $x $y" = "1024 768 0 0" ]
                check "/s: it leaves the system's screen saver on, being it ($(screen_saver_setting))" \
                    [ "$(screen_saver_setting)" != 0 ]
            fi
            # Shown, so past its start and its first (synthetic) mouse move.
            check_shown -root 3 32 24 "/s at 1024x768 (then a $way)"
            case $way in
                key) send_key "$window" a ;;
                click) xdotool click 1 ;;
                move)
                    xdotool mousemove_relative 1 0
                    sleep 1
                    check "/s: a mouse move of 1 px does not end it" kill -0 "$program_pid"
                    xdotool mousemove_relative 20 0
                    ;;
            esac
            wait_for_exit 30
            check "/s: a $way ends it with status 0 (status ${status:-still running})" \
                [ "${status:-x}" = 0 ]
            xdotool mousemove 500 400
        done
        ;;
    saver-p)
        shown_fps=60
        mkfifo "$work/parent.in"
        wine "$bin_dir/e2e-preview-parent.exe" <"$work/parent.in" >"$work/parent.out" \
            2>"$work/parent.err" &
        client_pid=$!
        exec 7>"$work/parent.in"
        for _ in $(seq 300); do
            [ -s "$work/parent.out" ] && break
            sleep 0.1
        done
        handle=$(head -1 "$work/parent.out" | tr -d '\r')
        [[ $handle =~ ^[0-9]+$ ]] || fail_now "the parent window gave no handle ($(cat "$work/parent.err"))"
        parent=$(find_window '^preview parent$' 30)
        [ -n "$parent" ] || fail_now "the parent window is not on the screen"
        read_geometry "$parent"
        check "the parent's client area is 152x112 (is ${w}x$h)" [ "$w $h" = "152 112" ]
        start_saver /p "$handle"
        program_started=$SECONDS
        # The parent asked, until the preview's window is there.
        child=
        for _ in $(seq 60); do
            echo child >&7
            sleep 0.5
            child=$(grep '^child' "$work/parent.out" | tail -1 | tr -d '\r')
            [ -n "$child" ] && [ "$child" != "child none" ] && break
            kill -0 "$program_pid" 2>/dev/null || break
        done
        check "the preview is a child covering the parent's client area ($child)" \
            [ "$child" = "child 152x112 at 0,0" ]
        # Wine 8 shows nothing that a child window of another process's
        # window draws (its drawing goes to no surface of the parent's): a
        # grey child from a second process tells whether this Wine does,
        # and so whether the preview's picture can be seen.
        wine "$bin_dir/e2e-preview-parent.exe" --child "$handle" </dev/null >/dev/null 2>&1 &
        probe_pid=$!
        seen=no
        for _ in $(seq 20); do
            sleep 0.2
            if screen_shot "-id $parent" "$work/probe.ppm" &&
                [ "$(tail -c 3 "$work/probe.ppm" | od -An -tx1 | tr -d ' ')" = 808080 ]; then
                seen=yes
                break
            fi
        done
        kill "$probe_pid" 2>/dev/null
        wait "$probe_pid" 2>/dev/null
        if [ "$seen" = yes ]; then
            check_shrunk "-id $parent" "/p $handle into 152x112"
            echo "the shrunk picture: frame, place and size: $shown"
        else
            echo "NOT CHECKED: the preview's picture: this Wine shows nothing a child window of another process draws (a grey one did not show)"
        fi
        check "the preview runs while its parent is there" kill -0 "$program_pid"
        # The parent goes: the preview must follow by itself.
        echo end >&7
        exec 7>&-
        for _ in $(seq 100); do
            kill -0 "$client_pid" 2>/dev/null || break
            sleep 0.05
        done
        kill -0 "$client_pid" 2>/dev/null && fail_now "the parent window's program did not end"
        parent_gone=$(date +%s%N)
        client_pid=
        for _ in $(seq 200); do
            kill -0 "$program_pid" 2>/dev/null || break
            sleep 0.05
        done
        took_ms=$((($(date +%s%N) - parent_gone) / 1000000))
        echo "the preview's process ended $took_ms ms after its parent's"
        wait_for_exit 1
        check "its parent gone, the preview ends by itself with status 0 (status ${status:-still running} after $took_ms ms; $(program_said))" \
            [ "${status:-x}" = 0 ]
        # Wine's own processes of it may take a moment longer to go.
        for _ in $(seq 100); do
            [ -z "$(saver_processes)" ] && break
            sleep 0.05
        done
        check "no process of the screen saver is left ($(saver_processes))" [ -z "$(saver_processes)" ]
        ;;
    saver-c)
        for arguments in /c -C:4242 "" /x; do
            if [ -n "$arguments" ]; then
                start_saver "$arguments"
                what="quenlixor-julia.scr $arguments"
            else
                start_saver
                what="quenlixor-julia.scr"
            fi
            box=$(find_window '^Quenlixor Julia$' 60)
            [ -n "$box" ] || fail_now "$what: no message box appeared ($(program_said))"
            texts=$(run_tool e2e-preview-parent --texts "Quenlixor Julia" | tr -d '\r' | tr '\n' '|')
            if [ "$arguments" = /x ]; then
                check "$what: the box names the argument ($texts)" \
                    grep -qF 'quenlixor-julia.scr: unknown argument /x (' <<<"$texts"
                expected=2
            else
                check "$what: the box says it has no settings ($texts)" \
                    grep -qF '|Quenlixor Julia has no settings.|' <<<"|$texts"
                expected=0
            fi
            send_key "$box" Return
            wait_for_exit 30
            check "$what: Enter closes the box and ends it with status $expected (status ${status:-still running})" \
                [ "${status:-x}" = "$expected" ]
        done
        ;;
    close)
        start_program
        window=$(find_window '^Quenlixor Julia' 60)
        [ -n "$window" ] || fail_now "the window did not appear ($(program_said))"
        wait_for_rate "$window" 20 >/dev/null
        "$bin_dir/e2e-close-request" "$window" || fail_now "could not send the close request"
        wait_for_exit 30
        check "a close request ends the program with status 0 (status ${status:-still running})" \
            [ "${status:-x}" = 0 ]
        [ -n "$status" ] || echo "window $window: $(xprop -id "$window" WM_PROTOCOLS 2>&1); $(xdotool getwindowname "$window" 2>&1)"
        ;;
    no-display)
        env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "${launcher[@]}" "$program" </dev/null \
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
    wayland-1 | wayland-2)
        qj_weston_start "$output_scale" 720x576 || fail_now "weston did not start"
        if [ "$output_scale" = 1 ]; then
            check_on_wayland no 2
            check_on_wayland yes 1
            # No EGL vendor: SDL's Wayland driver cannot make the window,
            # which X11 can.
            extra_env=(__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent/egl-vendor.json)
            start_on_wayland yes --fps 2
            window=$(find_window '^Quenlixor Julia' 60)
            [ -n "$window" ] || fail_now "without EGL no X11 window appeared ($(program_said))"
            wait_for_rate "$window" 20 >/dev/null
            xwd -silent -id "$window" >"$work/window.xwd" || fail_now "xwd could not read the window"
            kill -TERM "$program_pid"
            wait_for_exit 20
            check "without EGL SIGTERM ends the X11 window's program with status 0 (status ${status:-still running})" \
                [ "${status:-x}" = 0 ]
            check "and stderr says in one line that Wayland could not, and why ($(head -c 300 "$work/program.err"))" \
                [ "$(wc -l <"$work/program.err")" = 1 -a -n "$(grep -E '^quenlixor-julia: Wayland cannot show the window \(.+\), so it opens through X11 instead$' "$work/program.err")" ]
            check_picture "$work/window.xwd"
        else
            check_on_wayland no 1
            check_on_wayland yes 2
            # Full screen: 720x576 points are 1440x1152 pixels, which take
            # blocks of 4: 1280x960 at (80, 96), black around, no pointer.
            start_on_wayland no --fullscreen --fps 2
            check_shown weston 4 80 96 "--fullscreen at output scale 2"
            # The pointer moved over the picture: not drawn there.
            xdotool mousemove 100 100 2>/dev/null
            check_shown weston 4 80 96 "--fullscreen at output scale 2, the pointer over it"
            kill -TERM "$program_pid" 2>/dev/null
            wait_for_exit 20
            check "--fullscreen at output scale 2: SIGTERM ends it with status 0 (status ${status:-still running})" \
                [ "${status:-x}" = 0 ]
        fi
        ;;
    fullscreen-1080)
        arguments=(--fullscreen --fps 2)
        start_program
        program_started=$SECONDS
        window=$(find_window '^Quenlixor Julia' 60)
        [ -n "$window" ] || fail_now "the window did not appear ($(program_said))"
        read_geometry "$window"
        check "the window covers the screen (${w}x$h at $x,$y)" [ "$w $h $x $y" = "1920 1080 0 0" ]
        check_shown -root 4 320 60 "full screen at 1920x1080"
        caption=$(wait_for_rate "$window" 20)
        check "the caption shows the rate (\"$caption\")" \
            grep -qxE 'Quenlixor Julia Animator FPS:[1-9][0-9]*' <<<"$caption"
        xdotool mousemove 900 500 click 1
        sleep 1
        check "a click does not end it" kill -0 "$program_pid"
        first_shown=${shown%% *}
        check_shown -root 4 320 60 "full screen at 1920x1080, after the click"
        check "a later frame than the first one checked ($first_shown, then ${shown%% *})" \
            [ "${shown%% *}" -gt "${first_shown:-0}" ]
        send_key "$window" a
        wait_for_exit 30
        check "a key ends it with status 0 (status ${status:-still running})" [ "${status:-x}" = 0 ]
        check "nothing on stderr ($(head -c 300 "$work/program.err"))" [ ! -s "$work/program.err" ]
        ;;
    window-id)
        # Another client's window, and the program drawing into it.
        mkfifo "$work/client.in"
        /usr/bin/python3 "$here/given_window.py" 700 500 <"$work/client.in" >"$work/client.out" \
            2>"$work/client.err" &
        client_pid=$!
        exec 7>"$work/client.in"
        for _ in $(seq 100); do
            grep -qx ready "$work/client.out" 2>/dev/null && break
            sleep 0.1
        done
        given=$(head -1 "$work/client.out")
        grep -qx ready "$work/client.out" || fail_now "no window to give ($(cat "$work/client.err"))"
        arguments=(--window-id "$given" --fps 2)
        start_program
        program_started=$SECONDS
        check_shown "-id $given" 2 30 10 "--window-id $given at 700x500"
        # A window over its corner, border and picture, and gone again: the
        # X server leaves the window's grey there, which the program must
        # draw over.
        echo "cover 200 150" >&7
        echo uncover >&7
        for _ in $(seq 100); do
            grep -qx uncovered "$work/client.out" && break
            sleep 0.1
        done
        check "another window covered a corner of it and went ($(cat "$work/client.err"))" \
            grep -qx uncovered "$work/client.out"
        check_shown "-id $given" 2 30 10 "--window-id $given, a window over its corner gone" settles
        check "the window keeps its name ($(xdotool getwindowname "$given"))" \
            [ "$(xdotool getwindowname "$given")" = "given window" ]
        xdotool key --window "$given" a 2>/dev/null
        sleep 1
        check "a key in the window does not end it" kill -0 "$program_pid"
        echo "size 1000 740" >&7
        for _ in $(seq 100); do
            grep -qx sized "$work/client.out" && break
            sleep 0.1
        done
        check_shown "-id $given" 3 20 10 "--window-id $given resized to 1000x740"
        echo end >&7
        exec 7>&-
        wait_for_exit 30
        check "its window destroyed, the program ends with status 0 (status ${status:-still running})" \
            [ "${status:-x}" = 0 ]
        check "nothing on stderr ($(head -c 300 "$work/program.err"))" [ ! -s "$work/program.err" ]

        # The root window, when the screen shrinks (xrandr: Xvfb's screen
        # can be made smaller than it started), and SIGTERM.
        arguments=(--root --fps 2)
        start_program
        program_started=$SECONDS
        check_shown -root 3 32 24 "--root at 1024x768"
        xrandr --fb 800x600 >/dev/null 2>&1
        check "the screen is 800x600 now ($(xwininfo -root | grep -E 'Width|Height' | tr -s ' \n' ' '))" \
            grep -q 'Width: 800' <(xwininfo -root)
        check_shown -root 2 80 60 "--root, the screen shrunk to 800x600"
        kill -TERM "$program_pid"
        wait_for_exit 30
        check "SIGTERM ends it with status 0 (status ${status:-still running})" [ "${status:-x}" = 0 ]
        check "nothing on stderr ($(head -c 300 "$work/program.err"))" [ ! -s "$work/program.err" ]
        ;;
    xscreensaver)
        # The hack as the package gives it to xscreensaver: the command of
        # its settings file, the program found on the PATH, at --fps 2 for
        # the frame's search. xscreensaver runs no hack as root: the
        # daemon runs as nobody, with a home of its own.
        config=$here/../../../packaging/xscreensaver/quenlixor-julia.xml
        name=$(sed -n 's/^<screensaver name="\([^"]*\)".*/\1/p' "$config")
        command="$name $(sed -n 's/^ *<command arg="\([^"]*\)"\/>$/\1/p' "$config")"
        check "the settings file names the program's hack (\"$command\")" [ "$command" = "quenlixor-julia --root" ]
        chmod 755 "$work"
        mkdir -p "$work/bin" "$work/home"
        cp "$program" "$work/bin/quenlixor-julia"
        chmod 755 "$work/bin" "$work/bin/quenlixor-julia"
        printf '%s\n' 'mode: one' 'selected: 0' 'lock: False' 'fade: False' 'unfade: False' \
            'splash: False' 'dpmsEnabled: False' "programs: $command --fps 2" >"$work/home/.xscreensaver"
        chown -R 65534:65534 "$work/home"
        setpriv --reuid=65534 --regid=65534 --clear-groups env -i HOME="$work/home" \
            DISPLAY="$DISPLAY" PATH="$work/bin:/usr/bin:/bin" xscreensaver -no-splash \
            >"$work/xscreensaver.log" 2>&1 &
        saver_pid=$!
        activated=no
        for _ in $(seq 100); do
            xscreensaver-command -activate >/dev/null 2>&1 && activated=yes && break
            sleep 0.2
        done
        [ "$activated" = yes ] || fail_now "xscreensaver did not take -activate ($(tail -3 "$work/xscreensaver.log"))"
        program_started=$SECONDS
        # The hack's processes: this copy of the program, run by nobody.
        hack() {
            local pid
            for pid in $(pgrep -u 65534 -x quenlixor-julia); do
                [ "$(readlink "/proc/$pid/exe")" = "$work/bin/quenlixor-julia" ] && echo "$pid"
            done
        }
        for _ in $(seq 150); do
            [ -n "$(hack)" ] && break
            sleep 0.2
        done
        check "xscreensaver runs the hack ($(tail -3 "$work/xscreensaver.log"))" [ -n "$(hack)" ]
        check_shown -root 3 32 24 "under xscreensaver at 1024x768"
        xscreensaver-command -deactivate >/dev/null 2>&1
        for _ in $(seq 100); do
            [ -z "$(hack)" ] && break
            sleep 0.1
        done
        check "deactivated, no process of the hack is left ($(hack | tr '\n' ' '))" [ -z "$(hack)" ]

        # xscreensaver-settings previews the hack chosen in its own window,
        # adding --window-id to the command.
        setpriv --reuid=65534 --regid=65534 --clear-groups env -i HOME="$work/home" \
            DISPLAY="$DISPLAY" PATH="$work/bin:/usr/bin:/bin" xscreensaver-settings \
            >"$work/settings.log" 2>&1 &
        settings_pid=$!
        program_started=$SECONDS
        preview=
        for _ in $(seq 150); do
            preview=$(xdotool search --name '^XScreenSaver Settings Preview$' 2>/dev/null | head -1)
            [ -n "$preview" ] && [ -n "$(hack)" ] && break
            sleep 0.2
        done
        check "xscreensaver-settings previews the hack ($(tail -3 "$work/settings.log"))" \
            [ -n "$preview" -a -n "$(hack)" ]
        if [ -n "$preview" ]; then
            read_geometry "$preview"
            block=$((w / 320 < h / 240 ? w / 320 : h / 240))
            at_x=$(((w - 320 * block) / 2)) at_y=$(((h - 240 * block) / 2))
            if [ "$block" -ge 1 ]; then
                check_shown "-id $preview" "$block" "$at_x" "$at_y" "the preview at ${w}x$h"
            else
                echo "the preview is ${w}x$h: the picture is shrunk there, not compared"
            fi
        fi
        kill "$settings_pid" 2>/dev/null
        wait "$settings_pid" 2>/dev/null
        for _ in $(seq 100); do
            [ -z "$(hack)" ] && break
            sleep 0.1
        done
        check "the settings closed, no process of the hack is left ($(hack | tr '\n' ' '))" [ -z "$(hack)" ]
        xscreensaver-command -exit >/dev/null 2>&1
        ;;
esac

finish_checks "$scenario"
