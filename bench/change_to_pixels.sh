#!/usr/bin/env bash
# Time from a volume change of the bound stream to the redrawn value row on the X
# server: a libpulse client (bench/probe) sets the volume and stamps CLOCK_MONOTONIC,
# then reads the volume box back through MIT-SHM every 0.5 ms until it changes. Over
# CHANGES changes (default 300) at random points of the timer period, printed beside
# the design's limit: the notification time a client measures, plus the wait for the
# next 30 ms tick (uniform 0 to 30 ms), plus the row's paint (bench/row_paint).
# Private Xvfb and PulseAudio with two playing streams; with SESSIONVOL_BEFORE=<binary>,
# that program is measured in turn as well (in halves, interleaved).
# Usage: bench/change_to_pixels.sh [CHANGES]
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
changes=${1:-300}
start_bench_desktop
paint=$(PLATFORM_AUDIO=sim timeout 300 "$row_paint" 2000 | grep "wall time")
echo "$paint"
paint_p50=$(sed -E 's/.*p50 ([0-9.]+) ms.*/\1/' <<<"$paint")
paint_p99=$(sed -E 's/.*p99 ([0-9.]+) ms.*/\1/' <<<"$paint")
for program_path in "${programs[@]}"; do
  start_watched "$title" row "$program_path"
  sleep 0.5
  # Each change waits at most 2 s for the window.
  result=$(run_probe $((changes * 3 + 60)) change "$title" "$(scaled 12)" "$(scaled 127)" "$(scaled 296)" "$(scaled 26)" "$changes")
  stop_watched
  echo "$program_path:"
  sed 's/^/  /' <<<"$result"
  notify=$(grep '^notification' <<<"$result")
  awk -v n50="$(sed -E 's/.*p50 ([0-9.]+) ms.*/\1/' <<<"$notify")" -v n99="$(sed -E 's/.*p99 ([0-9.]+) ms.*/\1/' <<<"$notify")" \
      -v p50="$paint_p50" -v p99="$paint_p99" 'BEGIN {
    printf "  limit: p50 %.2f ms (notification p50 + 15 + paint p50), p99 %.2f ms (notification p99 + 29.7 + paint p99)\n",
      n50 + 15 + p50, n99 + 29.7 + p99
  }'
done
load_line
