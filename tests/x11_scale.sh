#!/usr/bin/env bash
# The X11 backend at a desktop's scale of 2 (Xft.dpi 192), on a display of its own that
# is large enough for the window at twice its size: 3840 x 2160, a 4K screen at 200 %.
# The test itself (X11ScaleTest in x11_program_test.cpp) sets Xft.dpi on the display.
set -u
tests=$1
source "$(dirname "$0")/../scripts/lib.sh"
command -v Xvfb >/dev/null 2>&1 || { echo "SKIP: Xvfb is not installed (scripts/test installs it)"; exit 77; }

start_private_display 3840x2160 || { echo "FAIL: could not start Xvfb"; exit 1; }
output=$("$tests" --gtest_filter='X11ScaleTest.*' 2>&1)
status=$?
stop_private_display
echo "$output"
[ "$status" -eq 0 ] || { echo "FAIL: exit code $status"; exit 1; }
# A filter that matched nothing, or a test that skipped, passes in GoogleTest: here
# the display was provided, so only a run test counts.
grep -q '^\[  PASSED  \] 1 test' <<<"$output" || { echo "FAIL: the test did not run"; exit 1; }
grep -q '^\[  SKIPPED \]' <<<"$output" && { echo "FAIL: the test skipped on the display provided for it"; exit 1; }
echo "PASS: X11 at Xft.dpi 192"
