# Shared by the benchmark scripts: a private Xvfb display and a private PulseAudio
# daemon with two playing streams, the programs to measure, and a clean way out.
# Everything started here is stopped on exit, and the scripts exit 0 when they measured.

source scripts/lib.sh
build_release
probe=build/linux-release/bench/probe
row_paint=build/linux-release/bench/row_paint
title=$(sessionvol_title)
peer_title="Volume Control"

# The programs to compare: this build, and SESSIONVOL_BEFORE (another sessionvol binary,
# e.g. one built from an older commit) when set. Each figure is taken for all of them
# in turn, round by round, so both see the same load.
programs=("$program")
[ -n "${SESSIONVOL_BEFORE:-}" ] && programs+=("$SESSIONVOL_BEFORE")

# Every call of the probe has a bound: a window that never settles or a server that never
# answers ends the run with a message instead of a hang.
run_probe() { # SECONDS ARGUMENTS...
  local status=0
  timeout --kill-after=5 "$1" "$probe" "${@:2}" || status=$?
  [ "$status" -ne 124 ] && [ "$status" -ne 137 ] && return "$status"
  echo "probe ${2}: no answer within $1 s" >&2
  return "$status"
}

bench_pids=()
bench_cleanup() {
  for pid in "${bench_pids[@]}"; do end_process "$pid"; done
  if [ -n "${SESSIONVOL_PULSE_DIR:-}" ]; then tests/pulse/stop-server.sh >/dev/null 2>&1 || true; fi
  stop_private_display
  return 0
}

# SESSIONVOL_BENCH_XFT_DPI=<dpi> (192 for a desktop at 200 %) runs on a display whose
# resource database says Xft.dpi: <dpi>, as xrdb sets it on such a desktop, with a
# 3840 x 2160 screen so the window fits at its scale. The probe reads the value row at
# that scale (SESSIONVOL_BENCH_SCALE).
export SESSIONVOL_BENCH_SCALE=1
# A logical length in device pixels at the benchmark's scale.
scaled() { awk -v n="$1" -v s="$SESSIONVOL_BENCH_SCALE" 'BEGIN { printf "%d", n * s + 0.5 }'; }

start_bench_desktop() {
  trap bench_cleanup EXIT
  if [ -n "${SESSIONVOL_BENCH_XFT_DPI:-}" ]; then
    # No reset when the last client leaves: the resources must stay until the program
    # connects.
    start_private_display 3840x2160
    echo "Xft.dpi: $SESSIONVOL_BENCH_XFT_DPI" | timeout 10 xrdb -nocpp -merge
    SESSIONVOL_BENCH_SCALE=$(awk -v d="$SESSIONVOL_BENCH_XFT_DPI" 'BEGIN { print d / 96 }')
    echo "display at Xft.dpi $SESSIONVOL_BENCH_XFT_DPI (scale $SESSIONVOL_BENCH_SCALE)"
  else
    start_private_display
  fi
  eval "$(tests/pulse/start-server.sh)"
  # No session bus: nothing may start one that outlives the run.
  export PLATFORM_AUDIO=pulse NO_AT_BRIDGE=1 DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
  local name
  for name in player other-player; do
    pacat --raw --playback --client-name="$name" </dev/zero >/dev/null &
    bench_pids+=($!)
    local tries=0
    until [ "$(timeout 5 pactl list short sink-inputs | wc -l)" -ge "${#bench_pids[@]}" ]; do
      tries=$((tries + 1))
      [ "$tries" -le 200 ] || { echo "the stream $name did not reach the server within 10 s" >&2; exit 1; }
      sleep 0.05
    done
  done
}

# Starts a program through the probe (MODE row or settled, see bench/probe.cpp) and
# sets started_pid and started_ms.
start_watched() { # TITLE MODE COMMAND...
  local out status=0
  # The probe waits up to 30 s for the window and 30 s for its row, or until its
  # pixels have rested for 1 s.
  out=$(run_probe 90 start "$1" "$2" -- "${@:3}") || status=$?
  if [ -z "$out" ]; then
    # Seen about once in a few hundred starts on a loaded machine; one more try.
    echo "probe start failed (status $status); trying again" >&2
    out=$(run_probe 90 start "$1" "$2" -- "${@:3}")
  fi
  started_pid=${out% *}
  started_ms=${out#* }
  bench_pids+=("$started_pid")
}

stop_watched() {
  end_process "$started_pid"
}

peak_rss_kb() { awk '/^VmHWM/ { print $2 }' "/proc/$1/status"; }

# Median and worst of the numbers on standard input.
median_worst() { sort -n | awk '{ v[NR] = $1 } END { printf "median %.2f, worst %.2f", v[int((NR + 1) / 2)], v[NR] }'; }

load_line() { echo "load: $(uptime | sed 's/.*load average/load average/'), $(nproc) cores"; }
