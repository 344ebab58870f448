#!/usr/bin/env bash
# The real program on the wayland backend, under sway (nested in a private Xvfb, input
# through the X server with xdotool, pictures from grim), at scale 1 and at scale 2:
# - the window appears with the program's title and the desktop entry's app_id, and its
#   first frame is the offscreen backend's image of the same program at that scale;
# - a click on "0.25" changes the session (the volume box changes);
# - the compositor's close (swaymsg kill) ends the program with exit code 0, and so does
#   Alt+F4 typed on the keyboard (scale 1);
# - a compositor that dies (SIGKILL) ends the program with exit code 0;
# - a held key repeats, made by the client as Wayland wants it, until it is released,
#   and Shift held does not (scale 1; WaylandKeyRepeatTest counts the key messages).
# Sway refuses to run as root: it runs as an unprivileged user (scripts/lib.sh's
# start_private_sway), and the program connects to its socket by absolute path.
set -u
program=$1 output=$2 tests=$3
source "$(dirname "$0")/../scripts/lib.sh"
begin_compositor_test "$output" stop_private_sway sway swaymsg grim xdotool xset Xvfb jq compare unshare setpriv useradd
fail() { echo "FAIL: $*"; exit 1; }

# The output is 1600 by 1000 pixels at either scale, so the 784 by 361 window fits.
start_private_display 1600x1000 || fail "could not start Xvfb"

run_program() { # ENVIRONMENT...
  start_program_in_pid_namespace "$program" "$@"
  program_pid=$SESSIONVOL_PROGRAM_PID
}

# The program's window as sway says it (name, app_id, where its content is), or nothing.
# Only once sway has made it float (the configuration's for_window) and put its title bar
# above it: before that, its rectangles still change.
window_node() {
  as_sway_user swaymsg -t get_tree 2>/dev/null | jq -c '.. | objects | select(.app_id? == "io.github.sessionvol.sessionvol"
    and .type == "floating_con" and .deco_rect.height > 0)' | head -1
}

wait_for_window() {
  local node
  for _ in $(seq 300); do
    node=$(window_node)
    [ -n "$node" ] && { echo "$node"; return 0; }
    process_running "$program_pid" || return 1
    sleep 0.1
  done
  return 1
}

# The content of the window, as grim gives it at the output's scale.
grab_window() { # NODE FILE
  local geometry
  geometry=$(jq -r '"\(.rect.x + .window_rect.x),\(.rect.y + .window_rect.y) \(.window_rect.width)x\(.window_rect.height)"' <<<"$1")
  as_sway_user grim -g "$geometry" "$SESSIONVOL_SWAY_DIR/run/grab.png" || return 1
  cp "$SESSIONVOL_SWAY_DIR/run/grab.png" "$2"
}

checks=0
for scale in 1 2; do
  offscreen_reference_frame "$program" "$scale" "$output/reference-scale$scale.png" || fail "the offscreen backend wrote no frame"
  # Provisioned here, so a sway that does not come up fails the test rather than skip it.
  start_private_sway "$scale" || fail "sway did not come up at scale $scale"
  run_program WAYLAND_DISPLAY="$SESSIONVOL_SWAY_SOCKET"
  node=$(wait_for_window) || fail "no window with app_id io.github.sessionvol.sessionvol at scale $scale"
  grab_window "$node" "$output/first-frame-scale$scale.png" || fail "grim could not take the window"
  name=$(jq -r .name <<<"$node")
  [ "$name" = "$(sessionvol_title)" ] || fail "the window's title is \"$name\""
  size=$(identify -format '%wx%h' "$output/first-frame-scale$scale.png")
  differing=$(differing_pixels "$output/first-frame-scale$scale.png" "$output/reference-scale$scale.png")
  [ "$differing" = 0 ] || fail "at scale $scale the first frame ($size) differs from the offscreen reference in $differing pixels"
  echo "scale $scale: \"$name\", app_id io.github.sessionvol.sessionvol, first frame $size equals the reference"

  # The "0.25" button's centre, client (110, 175), in the X server's pixels.
  x=$(jq -r ".rect.x + .window_rect.x" <<<"$node") y=$(jq -r ".rect.y + .window_rect.y" <<<"$node")
  xdotool mousemove $(((x + 110) * scale)) $(((y + 175) * scale)) click 1
  changed=""
  for _ in $(seq 50); do
    grab_window "$node" "$work/after-click.png" || fail "grim could not take the window"
    # The volume box, client (10, 125) to (310, 155).
    box="$((300 * scale))x$((30 * scale))+$((10 * scale))+$((125 * scale))"
    convert "$work/after-click.png" -crop "$box" +repage "$work/box-after.png"
    convert "$output/first-frame-scale$scale.png" -crop "$box" +repage "$work/box-before.png"
    [ "$(differing_pixels "$work/box-after.png" "$work/box-before.png")" != 0 ] && { changed=yes; break; }
    sleep 0.1
  done
  cp "$work/after-click.png" "$output/after-click-scale$scale.png"
  [ -n "$changed" ] || fail "at scale $scale a click on 0.25 did not change the volume box"
  echo "scale $scale: a click on 0.25 changed the volume box"

  as_sway_user swaymsg "[app_id=io.github.sessionvol.sessionvol] kill" >/dev/null || fail "swaymsg kill failed"
  status=0
  wait_for_exit "$program_pid" 30 || status=$?
  process_running "$program_pid" && fail "still running 30 s after the compositor's close"
  program_pid=""
  [ "$status" -eq 0 ] || fail "exit code $status after the compositor's close"
  echo "scale $scale: the compositor's close ended the program with exit code 0"

  if [ "$scale" = 1 ]; then
    # Keys through the compositor's keymap: Alt+F4 is Alt held and VK_F4, which closes.
    run_program WAYLAND_DISPLAY="$SESSIONVOL_SWAY_SOCKET"
    node=$(wait_for_window) || fail "no window for the keyboard at scale $scale"
    x=$(jq -r ".rect.x + .window_rect.x" <<<"$node") y=$(jq -r ".rect.y + .window_rect.y" <<<"$node")
    xdotool mousemove $((x + 400)) $((y + 300))
    sleep 0.2
    xdotool key alt+F4
    status=0
    wait_for_exit "$program_pid" 30 || status=$?
    process_running "$program_pid" && fail "still running 30 s after Alt+F4"
    program_pid=""
    [ "$status" -eq 0 ] || fail "exit code $status after Alt+F4"
    echo "scale $scale: Alt+F4 on the keyboard ended the program with exit code 0"

    # A held key: the X server's own repeat is off, so every repeat the window gets is
    # one the wayland backend made. Held longer than sway's repeat delay (600 ms).
    xset r off
    WAYLAND_DISPLAY="$SESSIONVOL_SWAY_SOCKET" "$tests" --gtest_filter=WaylandKeyRepeatTest.AHeldKeyRepeatsUntilReleasedAndAModifierDoesNot \
      >"$work/keys.log" 2>&1 &
    program_pid=$!
    node=$(wait_for_window) || { cat "$work/keys.log"; fail "no window for WaylandKeyRepeatTest"; }
    x=$(jq -r ".rect.x + .window_rect.x" <<<"$node") y=$(jq -r ".rect.y + .window_rect.y" <<<"$node")
    xdotool mousemove $((x + 400)) $((y + 300))
    sleep 0.2
    xdotool keydown shift && sleep 1.2 && xdotool keyup shift
    xdotool keydown a && sleep 1.5 && xdotool keyup a
    sleep 1
    xdotool key b
    status=0
    wait_for_exit "$program_pid" 30 || status=$?
    process_running "$program_pid" && fail "WaylandKeyRepeatTest still running 30 s after the keys"
    program_pid=""
    xset r on
    cat "$work/keys.log"
    [ "$status" -eq 0 ] || fail "WaylandKeyRepeatTest: exit code $status"
    # A filter that matched nothing, or a test that skipped, passes in GoogleTest.
    if ! grep -q '^\[  PASSED  \] 1 test' "$work/keys.log" || grep -q '^\[  SKIPPED \]' "$work/keys.log"; then
      fail "WaylandKeyRepeatTest did not run on the compositor provided for it"
    fi
    echo "scale $scale: a held key repeated until released; Shift held did not"
  fi

  run_program WAYLAND_DISPLAY="$SESSIONVOL_SWAY_SOCKET"
  wait_for_window >/dev/null || fail "no window the second time at scale $scale"
  stop_private_sway KILL
  status=0
  wait_for_exit "$program_pid" 30 || status=$?
  process_running "$program_pid" && fail "still running 30 s after the compositor died"
  program_pid=""
  [ "$status" -eq 0 ] || fail "exit code $status after the compositor died"
  echo "scale $scale: a compositor that died ended the program with exit code 0"
  checks=$((checks + 1))
done
[ "$checks" -eq 2 ] || fail "ran the checks at $checks scales"
echo "PASS: title, app_id, first frame, click, close, a dying compositor and a held key on sway"
