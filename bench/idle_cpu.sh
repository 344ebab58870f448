#!/usr/bin/env bash
# CPU time the real program uses while it sits idle in its window for SECONDS
# (default 60) under a private Xvfb display, with the simulated audio service.
# Usage: bench/idle_cpu.sh [SECONDS]   (after scripts/run or a linux-release build)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
seconds=${1:-60}
build_release
trap 'kill $pid 2>/dev/null; stop_private_display' EXIT
start_private_display
PLATFORM_AUDIO=sim "$program" &
pid=$!
window=$("$x11_window" wait "$SESSIONVOL_TITLE" 20)
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
sleep "$seconds"
after=$(ticks)
"$x11_window" close "$window"
wait "$pid"
awk -v t=$((after - before)) -v hz="$hz" -v s="$seconds" -v ms=30 'BEGIN {
  cpu = t / hz
  printf "idle for %d s: %.3f s of CPU (%.3f%% of one core); %.1f us per 30 ms tick\n", s, cpu, 100 * cpu / s, 1e6 * cpu / (s * 1000 / ms)
}'
