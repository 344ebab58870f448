#!/usr/bin/env bash
# What the program costs while it sits idle: CPU time and wake-ups over SECONDS
# (default 30) in each of ROUNDS rounds (default 3), each measured at the same time as a
# bare loop that waits 30 ms at a time on a fixed schedule (the floor), so that both see
# the same machine; the ratio is taken per round and its median printed. Then, from
# strace on the window thread, the system calls per timer tick and the mean timer
# period; and the peak resident memory. Private Xvfb and PulseAudio with two playing
# streams. With SESSIONVOL_BEFORE=<binary>, that program is measured in turn as well.
# Usage: bench/idle_cpu.sh [SECONDS] [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
seconds=${1:-30}
rounds=${2:-3}
trace_seconds=5
ticks=$((seconds * 1000 / 30))
start_bench_desktop

per_tick() { awk -v ns="$1" -v t="$ticks" 'BEGIN { printf "%.1f", ns / 1000 / t }'; }

"$probe" floor &
floor_pid=$!
bench_pids+=("$floor_pid")
declare -A ratios
for round in $(seq "$rounds"); do
  for program_path in "${programs[@]}"; do
    start_watched "$title" row "$program_path"
    sleep 1
    floor_file=$(mktemp)
    run_probe $((seconds + 30)) cpu "$floor_pid" "$seconds" >"$floor_file" &
    floor_probe=$!
    read -r cpu wakes main_cpu main_wakes < <(run_probe $((seconds + 30)) cpu "$started_pid" "$seconds")
    wait "$floor_probe"  # bounded by run_probe
    read -r floor_cpu floor_wakes _ < "$floor_file"
    rm -f "$floor_file"
    ratio=$(awk -v a="$cpu" -v b="$floor_cpu" 'BEGIN { printf "%.2f", a / b }')
    ratios[$program_path]+="$ratio "
    echo "round $round, $program_path: $(per_tick "$cpu") us CPU per 30 ms tick ($(awk -v w="$wakes" -v t="$ticks" 'BEGIN { printf "%.2f", w / t }') wake-ups; main thread $(per_tick "$main_cpu") us), floor $(per_tick "$floor_cpu") us at the same time: ${ratio}x"
    if [ "$round" = 1 ]; then
      trace=$(mktemp)
      timeout -s INT --kill-after=5 "$trace_seconds" strace -ttt -p "$started_pid" -o "$trace" 2>/dev/null || true
      awk -v s="$trace_seconds" '
        # The first wait was already running when strace attached: periods start at the second.
        / (poll|ppoll|epoll_pwait2|epoll_wait)\(/ { waits++; if (waits == 2) first = $1; if (waits >= 2) { last = $1; n = waits - 2 } }
        { calls++ }
        END { printf "  window thread: %.2f system calls per tick over %d s; mean timer period %.3f ms over %d ticks\n",
                calls / waits, s, 1000 * (last - first) / n, n }' "$trace"
      rm -f "$trace"
      echo "  peak RSS: $(peak_rss_kb "$started_pid") kB"
    fi
    stop_watched
  done
done
for program_path in "${programs[@]}"; do
  echo "$program_path: CPU against the floor, $(tr ' ' '\n' <<<"${ratios[$program_path]}" | grep . | median_worst) over $rounds rounds of $seconds s"
done
end_process "$floor_pid"
load_line
