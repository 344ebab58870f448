#!/usr/bin/env bash
# The X11 backend at a desktop's scale of 2 (Xft.dpi 192), on a display of its own that
# is large enough for the window at twice its size: 3840 x 2160, a 4K screen at 200 %.
# The tests themselves (X11ScaleTest in x11_program_test.cpp) set Xft.dpi on the display,
# one of them with xrdb -merge while the program runs.
set -u
tests=$1
source "$(dirname "$0")/../scripts/lib.sh"
command -v Xvfb >/dev/null 2>&1 || skip_for_missing x11 "Xvfb is not installed (scripts/test installs it)"

start_private_display 3840x2160 || { echo "FAIL: could not start Xvfb"; exit 1; }
failed=0
# Each in a process of its own, as ctest runs the others: the program's state is one
# global record.
for test in AtXftDpi192TheWindowIsTwiceAsLargeShowsTheScale2ReferenceAndTakesClicks AnXftDpiChangedWhileRunningIsFollowed \
  GdkScaleWinsOverXftDpi; do
  output=$("$tests" --gtest_filter="X11ScaleTest.$test" 2>&1)
  status=$?
  echo "$output"
  # A filter that matched nothing, or a test that skipped, passes in GoogleTest: here
  # the display was provided, so only a test that ran counts.
  if [ "$status" -ne 0 ]; then
    echo "FAIL: $test: exit code $status"; failed=1
  elif ! grep -q '^\[  PASSED  \] 1 test' <<<"$output" || grep -q '^\[  SKIPPED \]' <<<"$output"; then
    echo "FAIL: $test did not run on the display provided for it"; failed=1
  fi
done
stop_private_display
[ "$failed" -eq 0 ] || exit 1
echo "PASS: X11 at Xft.dpi 192, Xft.dpi changed from 96 to 192 while running, and GDK_SCALE 2"
