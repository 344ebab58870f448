#!/usr/bin/env bash
# The X server goes away under the running program (a crashed or ended session):
# the program must end the normal way, through WM_DESTROY, with exit code 0, rather
# than be ended by Xlib with exit code 1 or live on without a display.
set -u
program=$1 x11_window=$2
source "$(dirname "$0")/../scripts/lib.sh"
command -v Xvfb >/dev/null 2>&1 || skip_for_missing x11 "Xvfb is not installed (scripts/test installs it)"

# A display of its own: the test ends it.
start_private_display || { echo "FAIL: could not start Xvfb"; exit 1; }
xvfb=$SESSIONVOL_XVFB_PID
PLATFORM_AUDIO=sim "$program" 2>"${TMPDIR:-/tmp}/x11_lost_display.$$" &
pid=$!
fail() { echo "FAIL: $*"; end_process "$pid"; stop_private_display; exit 1; }

title=$(sessionvol_title)
"$x11_window" wait "$title" 30 >/dev/null || fail "no window titled \"$title\""
stop_private_display

# A generous bound: the program ends at once, but a machine under load may be slow.
status=0
wait_for_exit "$pid" 30 || status=$?
process_running "$pid" && fail "still running 30 s after the display went away"
stderr=$(cat "${TMPDIR:-/tmp}/x11_lost_display.$$"); rm -f "${TMPDIR:-/tmp}/x11_lost_display.$$"
[ "$status" -eq 0 ] || { echo "FAIL: exit code $status; standard error: $stderr"; exit 1; }
echo "PASS: display lost, exit code 0 ($stderr)"
