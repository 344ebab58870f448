#!/usr/bin/env bash
# Time from exec to the value row's text on the X server (dark pixels inside the
# volume box, read back from the server through MIT-SHM at 4 kHz): median and worst of
# RUNS (default 20), on a private Xvfb with a private PulseAudio and two playing
# streams. With SESSIONVOL_BEFORE=<binary>, that program is measured in turn as well.
# Usage: bench/first_paint.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
runs=${1:-20}
start_bench_desktop
declare -A times
for _ in $(seq "$runs"); do
  for program_path in "${programs[@]}"; do
    start_watched "$title" row "$program_path"
    times[$program_path]+="$started_ms "
    stop_watched
  done
done
for program_path in "${programs[@]}"; do
  echo "$program_path: exec to value row on screen over $runs runs: $(tr ' ' '\n' <<<"${times[$program_path]}" | grep . | median_worst) ms"
done
load_line
