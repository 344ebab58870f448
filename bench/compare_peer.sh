#!/usr/bin/env bash
# sessionvol beside the desktop mixer pavucontrol (Debian package) in one run, taking
# turns: start-up (exec until the window's pixels stop changing; the time of the last
# change), peak resident memory, idle CPU per 30 ms over SECONDS, and change -> pixels
# (bench/probe change: a libpulse client sets the lowest-numbered stream's volume and
# watches the window, the volume box for sessionvol, the whole window for pavucontrol).
# Medians over ROUNDS rounds, and the ratios. Private Xvfb and PulseAudio with two
# playing streams.
# Usage: bench/compare_peer.sh [ROUNDS] [SECONDS] [CHANGES]   (defaults 3, 10, 100)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
rounds=${1:-3}
seconds=${2:-10}
changes=${3:-100}
ticks=$((seconds * 1000 / 30))
command -v pavucontrol >/dev/null || ensure_packages "${SESSIONVOL_BENCH_PACKAGES[@]}"
start_bench_desktop

declare -A figures
add() { figures[$1]+="$2 "; }
median() { tr ' ' '\n' <<<"${figures[$1]}" | grep . | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

measure() { # NAME TITLE X Y W H COMMAND...
  local name=$1 window_title=$2 x=$3 y=$4 w=$5 h=$6
  start_watched "$window_title" settled "${@:7}"
  add "$name.start" "$started_ms"
  local cpu
  cpu=$(run_probe $((seconds + 30)) cpu "$started_pid" "$seconds")
  add "$name.idle" "$(awk -v c="${cpu%% *}" -v t="$ticks" 'BEGIN { printf "%.1f", c / 1000 / t }')"
  if [ "$w" = window ]; then
    read -r w h < <(timeout 20 xwininfo -name "$window_title" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w, h }')
  fi
  local result
  # Each change waits at most 2 s for the window.
  result=$(run_probe $((changes * 3 + 60)) change "$window_title" "$x" "$y" "$w" "$h" "$changes")
  add "$name.p50" "$(sed -nE 's/^change.*p50 ([0-9.]+) ms.*/\1/p' <<<"$result")"
  add "$name.p99" "$(sed -nE 's/^change.*p99 ([0-9.]+) ms.*/\1/p' <<<"$result")"
  add "$name.rss" "$(awk -v kb="$(peak_rss_kb "$started_pid")" 'BEGIN { printf "%.1f", kb / 1024 }')"
  stop_watched
}

for round in $(seq "$rounds"); do
  echo "round $round of $rounds"
  measure sessionvol "$title" 12 127 296 26 "$program"
  measure pavucontrol "$peer_title" 0 0 window window pavucontrol --tab=1
done

echo
echo "| figure (median of $rounds rounds) | sessionvol | pavucontrol | pavucontrol / sessionvol |"
echo "|---|---|---|---|"
row() { # LABEL KEY UNIT
  local ours theirs
  ours=$(median "sessionvol.$2")
  theirs=$(median "pavucontrol.$2")
  awk -v l="$1" -v a="$ours" -v b="$theirs" -v u="$3" 'BEGIN { printf "| %s | %s %s | %s %s | %.1fx |\n", l, a, u, b, u, b / a }'
}
row "start-up: exec to settled window" start ms
row "peak resident memory" rss MB
row "idle CPU per 30 ms" idle "µs"
row "change -> pixels, p50 ($changes changes)" p50 ms
row "change -> pixels, p99 ($changes changes)" p99 ms
load_line
