#!/usr/bin/env bash
# The wayland backend beside the x11 one, in one run: one private Xvfb (sway 1.7 nested
# in it for Wayland, at scale 1, started only for the Wayland half so that nothing lies
# over the X window), one private PulseAudio with two playing streams, the release build.
# - first frame: exec to the first frame on the display, RUNS times (default 10). X11:
#   the value row's text read back from the X server (bench/probe, as first_paint.sh).
#   Wayland: sway's IPC event of the window's mapping, read as it comes, which sway sends
#   when the first buffer arrives; that buffer is the whole first frame, value row
#   included (the wayland_sway test compares it with the reference image).
# - idle: CPU per 30 ms tick over SECONDS (default 10; bench/probe cpu) and system calls
#   per tick of the window thread (strace, 5 s), as idle_cpu.sh.
# - change -> pixels: the volume of the lowest-numbered stream changes, CHANGES times
#   (default 20), until the volume box's pixels differ. X11: bench/probe change, as
#   change_to_pixels.sh (libpulse, MIT-SHM read-back every 0.5 ms). Wayland: the same
#   probe sets it the same way, and waits for the new frame's commit to sway in
#   libwayland's request log (WAYLAND_DEBUG=client, read every 0.5 ms). grim cannot
#   poll fast enough to see the pixels themselves; sway shows a committed frame with its
#   next output frame.
# Usage: bench/wayland_beside_x11.sh [RUNS] [SECONDS] [CHANGES]
set -euo pipefail
cd "$(dirname "$0")/.."
export SESSIONVOL_XVFB_SCREEN=1600x1000
source bench/common.sh
runs=${1:-10}
seconds=${2:-10}
changes=${3:-20}
start_bench_desktop
trap 'bench_cleanup; stop_private_sway' EXIT
ticks=$((seconds * 1000 / 30))
now_ms() { echo "${EPOCHREALTIME/./}" | awk '{ printf "%.3f", $1 / 1000 }'; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }

# Idle figures of a running program: CPU per tick, system calls per tick.
idle_figures() { # PID
  local cpu trace
  read -r cpu _ < <(run_probe $((seconds + 30)) cpu "$1" "$seconds")
  trace=$(mktemp)
  timeout -s INT --kill-after=5 5 strace -ttt -p "$1" -o "$trace" 2>/dev/null || true
  awk -v ns="$cpu" -v t="$ticks" 'BEGIN { printf "%.1f us CPU per tick", ns / 1000 / t }'
  awk '/ (poll|ppoll|epoll_pwait2|epoll_wait)\(/ { waits++ } { calls++ }
       END { printf ", %.2f system calls per tick\n", calls / waits }' "$trace"
  rm -f "$trace"
}

echo "== x11"
x11_first=()
for _ in $(seq "$runs"); do
  start_watched "$title" row env PLATFORM_VIDEO=x11 "$program"
  x11_first+=("$started_ms")
  stop_watched
done
echo "first frame (exec to value row on the server) over $runs runs: $(printf '%s\n' "${x11_first[@]}" | median_worst) ms"
start_watched "$title" row env PLATFORM_VIDEO=x11 "$program"
sleep 1
echo "idle: $(idle_figures "$started_pid")"
# Each change waits at most 2 s for the window.
result=$(run_probe $((changes * 3 + 60)) change "$title" 12 127 296 26 "$changes")
echo "change -> pixels (bench/probe: libpulse sets the volume, MIT-SHM reads the box back every 0.5 ms):"
sed 's/^/  /' <<<"$result"
stop_watched

echo "== wayland (sway at scale 1)"
start_private_sway 1
# sway's window events, one line each, read as they come: no polling.
coproc events { as_sway_user swaymsg -r -t subscribe -m '["window"]' 2>/dev/null; }
bench_pids+=("$events_PID")
sleep 0.5
wayland_first=()
for _ in $(seq "$runs"); do
  start=$(now_ms)
  WAYLAND_DISPLAY=$SESSIONVOL_SWAY_SOCKET PLATFORM_VIDEO=wayland "$program" >/dev/null 2>&1 &
  pid=$!
  end=""
  while read -r -t 30 line <&"${events[0]}"; do
    [[ "$line" == *'"change": "new"'* || "$line" == *'"change":"new"'* ]] && { end=$(now_ms); break; }
  done
  [ -n "$end" ] || { echo "no window within 30 s" >&2; exit 1; }
  wayland_first+=("$(elapsed "$start" "$end")")
  end_process "$pid"
done
echo "first frame (exec to sway's event of the window's mapping, the first buffer) over $runs runs: $(printf '%s\n' "${wayland_first[@]}" | median_worst) ms"
# bash keeps one coprocess at a time: the change events below need it.
end_process "$events_PID"
# libwayland's own log of the requests (WAYLAND_DEBUG): a new wl_surface commit in it is
# a change's frame handed to the compositor.
debug_log=$(mktemp)
WAYLAND_DEBUG=client WAYLAND_DISPLAY=$SESSIONVOL_SWAY_SOCKET PLATFORM_VIDEO=wayland "$program" >/dev/null 2>"$debug_log" &
pid=$!
bench_pids+=("$pid")
sleep 2
echo "idle: $(idle_figures "$pid")"
result=$(run_probe $((changes * 3 + 60)) commit "$debug_log" "$changes")
echo "change -> frame committed to sway (bench/probe: libpulse sets the volume, the request log is read every 0.5 ms):"
sed 's/^/  /' <<<"$result"
end_process "$pid"
rm -f "$debug_log"
load_line
