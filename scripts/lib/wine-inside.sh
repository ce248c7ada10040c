# Runs inside the virtual X display of wine-exec: creates the Wine prefix on
# first use (once, under a lock), runs the program, then ends the prefix's
# Wine server so that the next program starts on its own display afresh.
# shellcheck shell=bash
set -uo pipefail

mkdir -p "$(dirname "$WINEPREFIX")"
(
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wineboot -i >/dev/null 2>&1
        wineserver -w
    fi
) 9>"$WINEPREFIX.lock"

wine "$@"
status=$?
wineserver -k >/dev/null 2>&1
wineserver -w >/dev/null 2>&1
exit $status
