#!/usr/bin/env bash
# SIGTERM, SIGINT and SIGHUP end the real program the way its close does: the main
# window gets WM_CLOSE, the program gives its session back and exits with code 0 (the
# default action would end it with 143, 130 or 129). Offscreen window and simulated
# audio service, so it needs neither a display nor a sound server.
#
# What only a real process shows: the exit code, as the shell that started the program
# sees it, and, in one more run against a private sound server with HOME unwritable,
# a standard error that holds the one backend line and nothing of libpulse's own. That
# the session is given back on the way is checked inside the process by
# SignalCloseTest (signal_close_test.cpp), which raises the signals in a step of the
# real WinMain.
set -u
program=$1
source "$(dirname "$0")/../scripts/lib.sh"
export PLATFORM_AUDIO=sim PLATFORM_VIDEO=offscreen
work=$(mktemp -d)
pid=""
cleanup() {
  [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null
  [ -n "${SESSIONVOL_PULSE_DIR:-}" ] && "$(dirname "$0")/pulse/stop-server.sh" "$SESSIONVOL_PULSE_DIR" >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}

# Waits up to `tries` tenths of a second for the program to end.
ended_within() { # TRIES
  for _ in $(seq "$1"); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}

# Starts the program, sends it the signal once it runs, and requires exit code 0.
close_by_signal() { # SIGNAL BACKEND [VARIABLE=VALUE...]
  local signal=$1 backend=$2
  # The signals a shell hands its background jobs ignored are set back to their default.
  env --default-signal=INT,HUP "${@:3}" "$program" 2>"$work/stderr" &
  pid=$!
  # The backend line is written while the window is made: main() has set up the signals.
  for _ in $(seq 300); do
    grep -q "^audio: using $backend" "$work/stderr" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  grep -q "^audio: using $backend" "$work/stderr" || fail "the program did not start; it wrote: $(cat "$work/stderr")"
  kill "-$signal" "$pid"
  ended_within 100 || fail "still running 10 s after SIG$signal"
  status=0
  wait "$pid" || status=$?
  pid=""
  [ "$status" -eq 0 ] || fail "exit code $status after SIG$signal"
  echo "SIG$signal: exit code 0"
}

for signal in TERM INT HUP; do close_by_signal "$signal" sim; done

# start-server.sh exits 2 when the server is not installed: a missing need. A server
# that is there and does not start is a fault of this run.
server_status=0
server=$("$(dirname "$0")/pulse/start-server.sh" 2>&1) || server_status=$?
[ "$server_status" -ne 2 ] || skip_for_missing "${SESSIONVOL_PULSE_SERVER_KIND:-pulseaudio}" "$server"
[ "$server_status" -eq 0 ] || fail "the private sound server did not start: $server"
eval "$server"
# (LeakSanitizer's list of the suppressions it used would be lines of its own, and a
# sanitizer runtime's own warnings start with "==<pid>==".)
close_by_signal TERM pulse PLATFORM_AUDIO=pulse HOME=/proc XDG_CONFIG_HOME= \
  LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}print_suppressions=0"
said=$(grep -Ev '^==[0-9]+==' "$work/stderr")
[ "$(wc -l <<<"$said")" -eq 1 ] || fail "standard error holds more than the backend line: $said"
echo "against a sound server, HOME unwritable: one line on standard error"
echo "PASS: SIGTERM, SIGINT and SIGHUP close the program with exit code 0"
