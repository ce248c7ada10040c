#!/usr/bin/env bash
# scripts/run with a bad option, in one mode (--native, --web or the
# Windows program) on the built tree BUILD_DIR: its status is the
# program's, 2, and what it prints is the program's message and usage
# alone (no word of a window that did not appear, no screenshot).
#
#   run_bad_option_test.sh BUILD_DIR [--native|--web]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../lib/e2e_checks.sh
source "$here/../lib/e2e_checks.sh"
build_dir=$1
shift
out=$(mktemp)
trap 'rm -f "$out"' EXIT

# Without a desktop, as in CI: scripts/run then runs the program headless.
env -u DISPLAY -u WAYLAND_DISPLAY QUENLIXOR_RUN_BUILD_DIR="$build_dir" \
    "$here/../../scripts/run" "$@" --scale 0 >"$out" 2>&1
status=$?
# Where 32-bit Wine cannot run, one line says which program runs instead.
# (A Windows program's lines end in CR LF.)
tr -d '\r' <"$out" | grep -v '^.\[1m==> .*: running the same program built for x86-64' >"$out.lines"
mv "$out.lines" "$out"
check "status 2 (was $status)" [ "$status" -eq 2 ]
check "the program's message first: $(head -1 "$out")" \
    [ "$(head -1 "$out")" = "quenlixor-julia: --scale 0 is out of range (1-8)" ]
check "then its usage, and nothing else" \
    [ "$(sed -n '2,$p' "$out" | grep -cv '^usage: quenlixor-julia\|^  \|^A key in the window\|^in a window given')" -eq 0 ]
finish_checks "scripts/run ${*:-(Windows)} --scale 0"
