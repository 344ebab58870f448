#!/usr/bin/env bash
# Time from starting the program to its first paint on screen (the identifier panel
# turning white), on a private Xvfb display; median and worst of RUNS (default 20).
# Usage: bench/first_paint.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
runs=${1:-20}
build_release
trap stop_private_display EXIT
start_private_display
title=$SESSIONVOL_TITLE
results=()
for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  PLATFORM_AUDIO=sim "$program" &
  pid=$!
  painted=$("$x11_window" wait-pixel "$title" 400 60 ffffff 20)
  results+=($(( (painted - start) / 1000 )))
  "$x11_window" close "$("$x11_window" wait "$title" 5)"
  wait "$pid"
done
printf '%s\n' "${results[@]}" | sort -n | awk '{ v[NR] = $1 } END {
  printf "start to first paint over %d runs: median %.1f ms, worst %.1f ms\n", NR, v[int((NR + 1) / 2)] / 1000, v[NR] / 1000
}'
