#!/usr/bin/env bash
# The real program on the wayland backend under weston, a compositor that draws no title
# bars (no zxdg_decoration_manager_v1, as GNOME's), nested in a private Xvfb with input
# through the X server (xdotool) and pictures of the X screen (import):
# - the window has a title bar, drawn by libdecor's plugin, right above its client area,
#   and the client area (784 x 361) is the offscreen backend's image of the program;
# - a drag on the title bar moves the window by as much as the pointer moved;
# - a click on the title bar's close button ends the program with exit code 0, and
#   standard error does not ask for the plugin that drew the title bar;
# - without a libdecor plugin the window still comes up (without a title bar), standard
#   error says once what to install, and Alt+F4 ends it with exit code 0.
set -u
program=$1 output=$2
source "$(dirname "$0")/../scripts/lib.sh"
dpkg-query -W -f='${Status}' libdecor-0-plugin-1-cairo 2>/dev/null | grep -q "install ok installed" ||
  skip_for_missing wayland "libdecor-0-plugin-1-cairo is not installed (scripts/test installs it)"
begin_compositor_test "$output" stop_private_weston weston Xvfb xdotool import compare identify python3 unshare
fail() { echo "FAIL: $*"; exit 1; }

screen=1024x768
start_private_display "$screen" || fail "could not start Xvfb"
# Weston draws the pointer into its output: kept in a corner, away from the window.
xdotool mousemove 1023 767
# Provisioned here, so a weston that does not come up fails the test rather than skip it.
start_private_weston "$screen" || fail "weston did not come up"

run_program() { # STDERR ENVIRONMENT...
  local errors=$1
  shift
  start_program_in_pid_namespace "$program" "$@" WAYLAND_DISPLAY="$SESSIONVOL_WESTON_SOCKET" 2>"$errors"
  program_pid=$SESSIONVOL_PROGRAM_PID
}

take_screen() { import -window root "$1"; }

# Where PICTURE lies in SCREEN, as "X Y ROWS": of the places where the picture's first
# row is found, the one where most of its rows (ROWS) are. Nothing when the first row is
# nowhere.
locate() { # SCREEN PICTURE
  python3 - "$1" "$2" <<'PYTHON'
import subprocess, sys
def pixels(path):
    width, height = subprocess.run(["identify", "-format", "%w %h", path], capture_output=True, text=True,
                                   check=True).stdout.split()
    data = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True, check=True).stdout
    return int(width), int(height), data
screen_width, screen_height, screen = pixels(sys.argv[1])
width, height, picture = pixels(sys.argv[2])
line, screen_line = width * 3, screen_width * 3
first = picture[:line]
best = None
for y in range(screen_height - height + 1):
    row = screen[y * screen_line:(y + 1) * screen_line]
    found = row.find(first)
    while found >= 0:
        if found % 3 == 0:
            x = found // 3
            rows = sum(screen[(y + r) * screen_line + x * 3:(y + r) * screen_line + x * 3 + line] ==
                       picture[r * line:(r + 1) * line] for r in range(height))
            if best is None or rows > best[2]:
                best = (x, y, rows)
            if rows == height:
                break
        found = row.find(first, found + 1)
    if best is not None and best[2] == height:
        break
if best is not None:
    print(*best)
PYTHON
}

# Waits up to 30 s until the client area shows, whole, on the screen; prints "X Y" of
# its top left.
# NAME names the pictures kept in the output folder.
wait_for_client_area() { # NAME
  local found="" deadline=$((SECONDS + 30))
  while [ "$SECONDS" -lt "$deadline" ]; do
    take_screen "$work/screen.png" || return 1
    found=$(locate "$work/screen.png" "$output/reference.png")
    [ "$(cut -d' ' -f3 <<<"$found")" = 361 ] && break
    process_running "$program_pid" || break
    sleep 0.2
  done
  cp "$work/screen.png" "$output/$1.png"
  [ "$(cut -d' ' -f3 <<<"$found")" = 361 ] || return 1
  cut -d' ' -f1,2 <<<"$found"
}

background=$(convert xc:"$SESSIONVOL_WESTON_BACKGROUND" -depth 8 -format '%[pixel:p{0,0}]' info:)
# The pixels of ROWS rows right above the client area at X Y that show the desktop.
desktop_pixels_above() { # SCREEN X Y ROWS
  convert "$1" -crop "784x$4+$2+$(($3 - $4))" +repage -fill black +opaque "$background" -fill white -opaque "$background" \
    -format '%[fx:round(mean*w*h)]' info:
}

# The title bar's height: in column X, the rows right above the client area at Y that
# have the colour of the row right above it (a shadow may lie beyond).
title_bar_height() { # SCREEN X Y
  convert "$1" -crop "1x$3+$2+0" +repage -depth 8 txt:- | awk -v top="$3" '
    NR > 1 { colour[NR - 2] = $3 }
    END { n = 0; while (top - 1 - n >= 0 && colour[top - 1 - n] == colour[top - 1]) n++; print n }'
}

offscreen_reference_frame "$program" 1 "$output/reference.png" || fail "the offscreen backend wrote no frame"
size=$(identify -format '%wx%h' "$output/reference.png")
[ "$size" = 784x361 ] || fail "the reference is $size, not the client area's 784x361"

checks=0
run_program "$work/stderr"
position=$(wait_for_client_area first-frame) ||
  fail "the client area never showed whole on the screen (best place: $(locate "$work/screen.png" "$output/reference.png"))"
read -r x y <<<"$position"
echo "the client area, 784x361 at ($x, $y), equals the offscreen reference"
# The title bar: what lies right above the client area is the window's, not the desktop.
[ "$y" -ge 8 ] || fail "the client area is at the top of the screen, with no room for a title bar"
# It may come a moment after the client area (a slow sanitizer build): up to 10 s.
desktop=$(desktop_pixels_above "$output/first-frame.png" "$x" "$y" 8)
for _ in $(seq 20); do
  [ "$desktop" = 0 ] && break
  sleep 0.5
  take_screen "$output/first-frame.png" || fail "could not take a picture of the screen"
  desktop=$(desktop_pixels_above "$output/first-frame.png" "$x" "$y" 8)
done
[ "$desktop" = 0 ] || fail "the 8 rows above the client area show the desktop in $desktop pixels: no title bar"
bar=$(title_bar_height "$output/first-frame.png" $((x + 100)) "$y")
[ "$bar" -ge 10 ] || fail "the title bar above the client area is $bar pixels high"
echo "a title bar $bar pixels high lies right above it"
checks=$((checks + 1))

# A drag on the title bar, away from its buttons, moves the window as far as the pointer.
grab_x=$((x + 200)) grab_y=$((y - bar / 2))
xdotool mousemove "$grab_x" "$grab_y" sleep 0.3 mousedown 1 sleep 0.3
for step in 1 2 3 4 5; do xdotool mousemove $((grab_x + 24 * step)) $((grab_y + 16 * step)) sleep 0.1; done
xdotool mouseup 1 sleep 0.3 mousemove 1023 767
moved=$(wait_for_client_area after-drag) || fail "after the drag the client area is not whole on the screen"
[ "$moved" = "$((x + 120)) $((y + 80))" ] || fail "a drag by (120, 80) from ($x, $y) left the client area at ($moved)"
read -r x y <<<"$moved"
echo "a drag on the title bar by (120, 80) moved the window to ($x, $y)"
checks=$((checks + 1))

# The close button: the title bar's last one, at its right end.
xdotool mousemove $((x + 784 - bar / 2)) $((y - bar / 2)) sleep 0.3 click 1 sleep 0.3 mousemove 1023 767
status=0
wait_for_exit "$program_pid" 30 || status=$?
process_running "$program_pid" && fail "still running 30 s after a click on the close button"
program_pid=""
[ "$status" -eq 0 ] || fail "exit code $status after a click on the close button"
echo "a click on the title bar's close button ended the program with exit code 0"
cp "$work/stderr" "$output/stderr-with-plugin.txt"
grep -q "libdecor-0-plugin-1-cairo" "$output/stderr-with-plugin.txt" &&
  fail "with the plugin installed, standard error still says to install it: $(cat "$output/stderr-with-plugin.txt")"
checks=$((checks + 1))

# Without a plugin to draw the title bar.
mkdir "$work/no-plugins"
run_program "$output/stderr-without-plugin.txt" LIBDECOR_PLUGIN_DIR="$work/no-plugins"
position=$(wait_for_client_area without-plugin) || fail "without a libdecor plugin the client area never showed whole"
read -r x y <<<"$position"
said=$(grep -c "install libdecor-0-plugin-1-cairo" "$output/stderr-without-plugin.txt")
[ "$said" = 1 ] || fail "without a plugin, standard error named the plugin's package $said times: $(cat "$output/stderr-without-plugin.txt")"
xdotool mousemove $((x + 400)) $((y + 300)) sleep 0.3 key alt+F4 sleep 0.3 mousemove 1023 767
status=0
wait_for_exit "$program_pid" 30 || status=$?
process_running "$program_pid" && fail "without a plugin, still running 30 s after Alt+F4"
program_pid=""
[ "$status" -eq 0 ] || fail "without a plugin, exit code $status after Alt+F4"
echo "without a libdecor plugin: the window came up at ($x, $y), standard error said once to install" \
  "libdecor-0-plugin-1-cairo, and Alt+F4 ended the program with exit code 0"
checks=$((checks + 1))

[ "$checks" -eq 4 ] || fail "ran $checks of the 4 checks"
echo "PASS: title bar, drag, close button and a missing plugin on weston"
