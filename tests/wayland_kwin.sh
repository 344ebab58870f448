#!/usr/bin/env bash
# The real program on the wayland backend at fractional scales, under KWin (nested in a
# private Xvfb whose screen is KWin's output in device pixels; QPainter compositing),
# the compositor that offers wp_fractional_scale_v1 with wp_viewporter: at 1.5 and 1.25
# - the window is 784 by 361 logical pixels, with the program's title and app_id;
# - its picture on the output equals the offscreen backend's image of the same program at
#   that scale, device pixel for device pixel;
# - a click on "0.25" changes the session (the volume box changes);
# - maximised, the window fills the output's logical width (1600 pixels).
# KWin runs as an unprivileged user (scripts/lib.sh's start_private_kwin), and the
# program connects to its socket by absolute path.
set -u
program=$1 output=$2
source "$(dirname "$0")/../scripts/lib.sh"
begin_compositor_test "$output" stop_private_kwin kwin_wayland dbus-daemon dbus-send Xvfb xdotool import compare unshare setpriv useradd
fail() { echo "FAIL: $*"; exit 1; }

# KWin places the window at logical (100, 100) (start_private_kwin).
window_left=100 window_top=100

# What KWin says of the window, once it has one of the program's size; "" until then.
wait_for_window() {
  local info
  for _ in $(seq 100); do
    info=$(kwin_window_info)
    grep -q '^width ' <<<"$info" && { echo "$info"; return 0; }
    process_running "$program_pid" || return 1
    sleep 0.1
  done
  return 1
}

# The output as the X server shows it, cropped to GEOMETRY (device pixels).
grab() { # GEOMETRY FILE
  import -window root "$work/root.png" && convert "$work/root.png" -crop "$1" +repage "$2"
}

# A logical length in device pixels at the scale being tested, whole pixels (down).
device() { awk -v n="$1" -v s="$scale" 'BEGIN { printf "%d", n * s }'; }
# A value of what KWin said of the window.
field() { sed -n "s/^$1 //p" <<<"$info"; }

checks=0
for scale in 1.5 1.25; do
  # Device pixels: the output, the window's corner, and the window's rows that the
  # compositor shows whole. A window 361 logical pixels high is 541.5 device rows at 1.5;
  # the half row below the last whole one is partly the desktop's, and KWin shows the
  # desktop there.
  left=$(device $window_left) top=$(device $window_top)
  width=$(device 784) rows=$(device 361)
  offscreen_reference_frame "$program" "$scale" "$work/reference.png" || fail "the offscreen backend wrote no frame"
  convert "$work/reference.png" -crop "${width}x$rows+0+0" +repage "$output/reference-scale$scale.png"

  start_private_display "$(device 1600)x$(device 1000)" || fail "could not start Xvfb"
  # Provisioned here, so a KWin that does not come up fails the test rather than skip it.
  start_private_kwin "$scale" || fail "KWin did not come up at scale $scale"
  start_program_in_pid_namespace "$program" WAYLAND_DISPLAY="$SESSIONVOL_KWIN_SOCKET"
  program_pid=$SESSIONVOL_PROGRAM_PID
  info=$(wait_for_window) || fail "KWin shows no window of the program at scale $scale"
  [ "$(field caption)" = "$(sessionvol_title)" ] || fail "the window's title is \"$(field caption)\""
  [ "$(field resourceClass)" = io.github.sessionvol.sessionvol ] || fail "the window's app_id is \"$(field resourceClass)\""
  size="$(field width)x$(field height)+$(field x)+$(field y)"
  [ "$size" = "784x361+$window_left+$window_top" ] || fail "at scale $scale KWin has the window at $size (logical)"

  # The first picture is taken as soon as KWin has the window; the program's first frame
  # may still be on its way, so the picture is taken again until it matches, for 5 s.
  differing=""
  for _ in $(seq 50); do
    grab "${width}x$rows+$left+$top" "$output/window-scale$scale.png" || fail "could not read the X server's screen"
    differing=$(differing_pixels "$output/window-scale$scale.png" "$output/reference-scale$scale.png")
    [ "$differing" = 0 ] && break
    process_running "$program_pid" || fail "the program ended at scale $scale"
    sleep 0.1
  done
  [ "$differing" = 0 ] || fail "at scale $scale the window's ${width}x$rows device pixels differ from the offscreen reference in $differing pixels"
  echo "scale $scale: \"$(field caption)\", app_id $(field resourceClass), 784x361 logical; its ${width}x$rows device pixels equal the reference"

  # The "0.25" button's centre, client (110, 175), in the X server's pixels; the volume
  # box, client (10, 125) to (310, 155).
  xdotool mousemove "$(device $((window_left + 110)))" "$(device $((window_top + 175)))" click 1
  box="$(device 300)x$(device 30)+$(device $((window_left + 10)))+$(device $((window_top + 125)))"
  convert "$output/window-scale$scale.png" -crop "$(device 300)x$(device 30)+$(device 10)+$(device 125)" +repage "$work/box-before.png"
  changed=""
  for _ in $(seq 50); do
    grab "$box" "$work/box-after.png" || fail "could not read the X server's screen"
    [ "$(differing_pixels "$work/box-after.png" "$work/box-before.png")" != 0 ] && { changed=yes; break; }
    sleep 0.1
  done
  grab "${width}x$rows+$left+$top" "$output/after-click-scale$scale.png"
  [ -n "$changed" ] || fail "at scale $scale a click on 0.25 did not change the volume box"
  echo "scale $scale: a click on 0.25 changed the volume box"

  # Maximised (through KWin's scripting), the window fills the output's 1600 logical
  # pixels across; down to 977, the client area of the largest window Windows allows on
  # a 1000-pixel-high screen (the screen and the sizing frame, less the caption).
  kwin_maximize_program || fail "KWin's script to maximise the window did not run"
  maximized=""
  for _ in $(seq 50); do
    info=$(kwin_window_info)
    maximized="$(field width)x$(field height)"
    [ "$maximized" = 1600x977 ] && break
    sleep 0.1
  done
  [ "$maximized" = 1600x977 ] || fail "at scale $scale the maximised window is $maximized logical pixels, not 1600x977"
  echo "scale $scale: maximised, the window is 1600x977 logical pixels"

  # The program ends by itself when its compositor goes away.
  stop_private_kwin
  wait_for_exit "$program_pid" 30
  process_running "$program_pid" && fail "still running 30 s after KWin ended"
  program_pid=""
  stop_private_display
  checks=$((checks + 1))
done
[ "$checks" -eq 2 ] || fail "ran the checks at $checks scales"
echo "PASS: window size, title, app_id, pictures, a click and maximising under KWin at scales 1.5 and 1.25"
