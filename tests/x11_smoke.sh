#!/usr/bin/env bash
# The real program on the X11 backend: its window appears with its title, draws its
# panel, and closing it ends the program with exit code 0.
set -u
program=$1 x11_window=$2 screenshot=$3
source "$(dirname "$0")/../scripts/lib.sh"
title=$(sessionvol_title)
[ -n "${DISPLAY:-}" ] || skip_for_missing x11 "no X display (scripts/test provides one)"

PLATFORM_AUDIO=sim PLATFORM_VIDEO=x11 "$program" &
pid=$!
fail() { echo "FAIL: $*"; end_process "$pid"; exit 1; }

window=$("$x11_window" wait "$title" 30) || fail "no window titled \"$title\""

# The identifier panel is white once the first paint reached the screen.
timeout 40 "$x11_window" wait-pixel "$title" 400 60 FFFFFF 30 >/dev/null || fail "panel pixel (400, 60) never became white"
timeout 20 import -window "$window" "$screenshot" || fail "could not take a screenshot of window $window"
size=$(convert "$screenshot" -format '%w x %h' info:)
[ "$size" = "784 x 361" ] || fail "client area is $size, expected 784 x 361"
echo "screenshot $screenshot ($size)"

"$x11_window" close "$window" || fail "could not send WM_DELETE_WINDOW"
# A program that does not end after the close request is a fault: say where it waits
# rather than leaving it to the test timeout.
status=0
wait_for_exit "$pid" 30 || status=$?
if process_running "$pid"; then
  echo "FAIL: still running 30 s after the close request; its threads:"
  if command -v gdb >/dev/null; then
    timeout 60 gdb -p "$pid" -batch -ex "thread apply all bt" 2>/dev/null | grep -E '^(#|Thread)'
  else
    cat "/proc/$pid/wchan" 2>/dev/null; echo
  fi
  end_process "$pid" 0
  exit 1
fi
[ "$status" -eq 0 ] || { echo "FAIL: exit code $status"; exit 1; }
echo "PASS: title, panel, close, exit code 0"
