# Runs inside the virtual X display of wine-exec: creates the Wine prefix on
# first use, runs the program, then ends the prefix's Wine server so that the
# next program starts on its own display afresh.
# shellcheck shell=bash
set -uo pipefail
# shellcheck source=wine.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine.sh"

qj_wine_prefix_ready
wine "$@"
status=$?
qj_wine_end
exit $status
