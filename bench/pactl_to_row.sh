#!/usr/bin/env bash
# Time from a volume change made with pactl to the redrawn value row on screen: the
# real program on a private Xvfb display, bound to a pacat stream of a private
# PulseAudio daemon. Alternates 25% and 50%; prints median and 99th percentile over
# CHANGES (default 200). Includes pactl's own start (see bench/pulse_roundtrip for the
# round trips without it) and the wait for the next 30 ms timer tick.
# Usage: bench/pactl_to_row.sh [CHANGES]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
changes=${1:-200}
build_release
title=$SESSIONVOL_TITLE

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  tests/pulse/stop-server.sh >/dev/null 2>&1 || true
  stop_private_display
}
trap cleanup EXIT
start_private_display
eval "$(tests/pulse/start-server.sh)"
pacat --raw --playback --client-name=player </dev/zero >/dev/null &
pids+=($!)
until index=$(pactl list short sink-inputs | awk 'NR == 1 { print $1 }') && [ -n "$index" ]; do sleep 0.05; done
PLATFORM_AUDIO=pulse "$program" &
pids+=($!)
"$x11_window" wait "$title" 20 >/dev/null

results=()
for i in $(seq "$changes"); do
  level=$(( i % 2 ? 25 : 50 ))
  # The watcher reads the volume box, says ready, and reports when the box changed.
  exec {watch}< <("$x11_window" wait-change "$title" 12 127 296 26 10)
  read -r ready <&"$watch"
  start=$(date +%s%N)
  pactl set-sink-input-volume "$index" "$level%"
  read -r changed <&"$watch"
  exec {watch}<&-
  results+=($(( (changed - start) / 1000 )))
done
printf '%s\n' "${results[@]}" | sort -n | awk '{ v[NR] = $1 } END {
  p99 = int(NR * 0.99); if (p99 < 1) p99 = 1
  printf "pactl change to redrawn value row over %d changes: median %.1f ms, 99th percentile %.1f ms\n", NR, v[int((NR + 1) / 2)] / 1000, v[p99] / 1000
}'
