# Wine settings shared by scripts/wine-exec, scripts/run and the end-to-end
# tests: a prefix of the build tree's own (32-bit for the 32-bit programs,
# 64-bit for the 64-bit ones), no debug output, no Mono or Gecko installer
# prompts.
# shellcheck shell=bash

# qj_wine_loader ARCH: Wine's loader for win32 or win64 programs.
qj_wine_loader() {
    case $1 in
        win64) echo /usr/lib/wine/wine64 ;;
        *) echo /usr/lib/wine/wine ;;
    esac
}

# qj_wine_environment PREFIX [ARCH]: exports the settings for the prefix
# PREFIX of the architecture ARCH, win32 (the default) or win64.
qj_wine_environment() {
    WINEPREFIX=$(realpath -m "$1")
    export WINEPREFIX
    export WINEARCH=${2:-win32}
    export WINEDEBUG=${WINEDEBUG:--all}
    case ${WINEDLLOVERRIDES:-} in
        *mscoree,mshtml=*) ;;
        *) export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}" ;;
    esac
    if [ "$WINEARCH" = win64 ]; then
        # Debian's wine command (and wineboot and wineconsole, which run it)
        # takes the 32-bit loader whenever that is installed, even where it
        # cannot run; a 64-bit prefix is given the 64-bit loader by name.
        local commands=$WINEPREFIX.commands name
        mkdir -p "$commands"
        for name in wine wine-stable; do
            printf '#!/bin/sh\nexec %s "$@"\n' "$(qj_wine_loader win64)" >"$commands/$name"
            chmod +x "$commands/$name"
        done
        export WINELOADER
        WINELOADER=$(qj_wine_loader win64)
        case ":$PATH:" in
            *":$commands:"*) ;;
            *) PATH=$commands:$PATH ;;
        esac
    fi
}

# qj_wine_prefix_ready: creates $WINEPREFIX on first use, once, under a lock.
# Run it on the X display the programs will use.
qj_wine_prefix_ready() {
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            wineboot -i >/dev/null 2>&1
            # A crashing test program ends at once instead of waiting in
            # Wine's crash dialog until the test's time-out.
            wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
                >/dev/null 2>&1
            wineserver -w
        fi
    ) 9>"$WINEPREFIX.lock"
}

# qj_wine_session_start LOG [SECONDS]: starts the prefix's Wine session, its
# server and the service processes Wine starts beside the first program of a
# session, before the program itself, as on a desktop where Wine already
# runs. What they print goes to LOG, not to the program's own stderr: they
# inherit the terminal of the process that started them (and a session that
# outlives its starter must not hold the starter's output open), and Wine's
# device-driver host (winedevice.exe), one of them, now and then crashes
# while it starts and says so there. A session left over from a run that
# was killed goes first; the new server stays up for SECONDS (default 10)
# after its last program, so that the program joins this session, not a new
# one; "forever" keeps it until it is ended.
qj_wine_session_start() {
    qj_wine_end
    {
        case ${2:-10} in
            forever) wineserver -p ;;
            *) wineserver "-p${2:-10}" ;;
        esac
        wine wineboot
    } </dev/null >"$1" 2>&1
}

# qj_wine_end: ends every program of the prefix and its Wine server, so the
# next program starts afresh (on its own display).
qj_wine_end() {
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
}

# A shared session: one virtual display and one Wine session that the tests
# of a build on one screen depth use one after another (scripts/wine-session
# starts and ends it; the tests find it through $QUENLIXOR_WINE_SESSION, the
# session's folder). Starting Xvfb and Wine's session for every test program
# cost about two seconds each.

# qj_wine_session_display DIR: true, with DISPLAY exported, when DIR holds a
# running shared session's display.
qj_wine_session_display() {
    [ -n "$1" ] && [ -s "$1/display" ] || return 1
    DISPLAY=$(cat "$1/display")
    export DISPLAY
}

# qj_wine_session_join DIR: starts the shared session's Wine session unless
# it runs (a test that failed ends it, so that nothing it left behind meets
# the next test).
qj_wine_session_join() {
    [ -e "$1/wine-running" ] && return 0
    qj_wine_session_start "$1/session.log" forever && touch "$1/wine-running"
}

# qj_wine_session_leave DIR STATUS: after a test in the shared session; one
# that failed (STATUS not 0) ends every program of the session.
qj_wine_session_leave() {
    [ "$2" = 0 ] && return 0
    qj_wine_end
    rm -f "$1/wine-running"
}

# qj_wine_can_run [ARCH]: true when this machine can start Wine's loader for
# ARCH (default win32). Some virtual machines run no 32-bit x86 programs at
# all (the kernel answers "Exec format error"), and then no 32-bit Windows
# program of ours can run under Wine there; where 32-bit Wine could not be
# installed, none can either (Debian's wine command would start the 64-bit
# loader instead, so the 32-bit one is asked by name).
qj_wine_can_run() {
    local loader
    loader=$(qj_wine_loader "${1:-win32}")
    [ -x "$loader" ] && "$loader" --version >/dev/null 2>&1
}

# qj_wine_cannot_run_why [ARCH]: why qj_wine_can_run ARCH is false, as the
# end of a sentence.
qj_wine_cannot_run_why() {
    if [ ! -x "$(qj_wine_loader "${1:-win32}")" ]; then
        [ "${1:-win32}" = win32 ] && echo "32-bit Wine is not installed" ||
            echo "64-bit Wine is not installed"
    elif [ "${1:-win32}" = win32 ]; then
        echo "this machine cannot run 32-bit x86 programs, so Wine cannot start them"
    else
        echo "64-bit Wine cannot start on this machine"
    fi
}
