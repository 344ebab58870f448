#!/usr/bin/env bash
# SIGTERM, SIGINT and SIGHUP end the real program the way its close does: the main
# window gets WM_CLOSE, the program gives its session back and exits with code 0 (the
# default action would end it with 143, 130 or 129). Offscreen window and simulated
# audio service, so it needs neither a display nor a sound server.
#
# The exit code comes from the shell that started the program. That the session was
# bound and then given back is read from outside by gdb: the program's state as its
# loop starts, and again at exit(), after WinMain returned. One more run against a
# private sound server, with HOME unwritable, checks that standard error holds the one
# backend line and nothing of libpulse's own.
set -u
program=$1
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

if server=$("$(dirname "$0")/pulse/start-server.sh" 2>&1); then
  eval "$server"
  # (LeakSanitizer's list of the suppressions it used would be lines of its own, and a
  # sanitizer runtime's own warnings start with "==<pid>==".)
  close_by_signal TERM pulse PLATFORM_AUDIO=pulse HOME=/proc XDG_CONFIG_HOME= \
    LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}print_suppressions=0"
  said=$(grep -Ev '^==[0-9]+==' "$work/stderr")
  [ "$(wc -l <<<"$said")" -eq 1 ] || fail "standard error holds more than the backend line: $said"
  echo "against a sound server, HOME unwritable: one line on standard error"
else
  echo "no private sound server here, its run left out: $server"
fi

if ! command -v gdb >/dev/null; then
  echo "SKIP: the session's release is read with gdb, which is not installed (Debian: gdb)"
  exit 77
fi
# gdb passes the signal on without stopping; AppState is the program's one global record.
# LeakSanitizer cannot run under a tracer (the runs above had it).
ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 timeout 120 gdb -nx -q -batch \
  -ex 'set startup-with-shell off' \
  -ex 'handle SIGTERM nostop noprint pass' \
  -ex 'tbreak GetMessageA' -ex 'run' \
  -ex 'printf "bound before the signal: %d\n", AppState.session != 0' \
  -ex 'python import os, signal; os.kill(gdb.selected_inferior().pid, signal.SIGTERM)' \
  -ex 'tbreak exit' -ex 'continue' \
  -ex 'printf "held at exit: %d\n", (int)(AppState.session != 0) + (int)(AppState.sessionManager != 0) + (int)(AppState.device != 0)' \
  -ex 'continue' \
  -ex 'printf "exit code: %d\n", $_exitcode' \
  --args "$program" >"$work/gdb" 2>&1
grep -q '^bound before the signal: 1$' "$work/gdb" || fail "no session was bound as the loop started; gdb said: $(cat "$work/gdb")"
grep -q '^held at exit: 0$' "$work/gdb" || fail "the program did not reach exit() with its session given back; gdb said: $(cat "$work/gdb")"
grep -q '^exit code: 0$' "$work/gdb" || fail "gdb saw another exit code: $(cat "$work/gdb")"
echo "PASS: SIGTERM, SIGINT and SIGHUP close the program with exit code 0; under gdb, the session bound at start was given back by exit()"
