#!/usr/bin/env bash
# What the program costs while it sits idle: CPU time and wake-ups over SECONDS
# (default 30), beside a bare loop that waits 30 ms at a time on a fixed schedule (the
# floor) in the same run; then, from strace on the window thread, the system calls per
# timer tick and the mean timer period; and the peak resident memory. Private Xvfb and
# PulseAudio with two playing streams. With SESSIONVOL_BEFORE=<binary>, that program is
# measured in turn as well.
# Usage: bench/idle_cpu.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
seconds=${1:-30}
trace_seconds=5
ticks=$((seconds * 1000 / 30))
start_bench_desktop

report_cpu() { # NAME CPU-LINE
  read -r cpu wakes main_cpu main_wakes <<<"$2"
  awk -v name="$1" -v cpu="$cpu" -v wakes="$wakes" -v mc="$main_cpu" -v mw="$main_wakes" -v t="$ticks" -v s="$seconds" 'BEGIN {
    printf "%s: %.1f us CPU per 30 ms tick (%.3f%% of a core), %.2f wake-ups per tick; main thread %.1f us, %.2f wake-ups\n",
      name, cpu / 1000 / t, 100 * cpu / (s * 1e9), wakes / t, mc / 1000 / t, mw / t
  }'
}

"$probe" floor &
floor_pid=$!
bench_pids+=("$floor_pid")
floor=$("$probe" cpu "$floor_pid" "$seconds")
report_cpu "floor (bare poll loop)" "$floor"
floor_cpu=${floor%% *}
for program_path in "${programs[@]}"; do
  start_watched "$title" row "$program_path"
  sleep 1
  measured=$("$probe" cpu "$started_pid" "$seconds")
  report_cpu "$program_path" "$measured"
  echo "  CPU against the floor of this run: $(awk -v a="${measured%% *}" -v b="$floor_cpu" 'BEGIN { printf "%.2fx", a / b }')"
  trace=$(mktemp)
  timeout -s INT "$trace_seconds" strace -ttt -p "$started_pid" -o "$trace" 2>/dev/null || true
  awk -v s="$trace_seconds" '
    # The first wait was already running when strace attached: periods start at the second.
    / (poll|ppoll)\(/ { waits++; if (waits == 2) first = $1; if (waits >= 2) { last = $1; n = waits - 2 } }
    { calls++ }
    END { printf "  window thread: %.2f system calls per tick over %d s; mean timer period %.3f ms over %d ticks\n",
            calls / waits, s, 1000 * (last - first) / n, n }' "$trace"
  rm -f "$trace"
  echo "  peak RSS: $(peak_rss_kb "$started_pid") kB"
  stop_watched
done
kill "$floor_pid"
load_line
