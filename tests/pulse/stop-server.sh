#!/bin/sh
# Stops the processes that start-server.sh started, last first, and removes its
# directory.
#   tests/pulse/stop-server.sh [DIR]     # DIR defaults to $SESSIONVOL_PULSE_DIR
set -eu
dir=${1:-${SESSIONVOL_PULSE_DIR:-}}
if [ -z "$dir" ] || [ ! -d "$dir" ]; then
    echo "stop-server.sh: no server directory given (argument or SESSIONVOL_PULSE_DIR)" >&2
    exit 2
fi
# Running, and not a zombie waiting for its reaper.
running() {
    state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1
    [ -n "$state" ] && [ "$state" != Z ]
}
if [ -f "$dir/daemon.pids" ]; then
    for pid in $(tac "$dir/daemon.pids"); do
        kill "$pid" 2>/dev/null || continue
        tries=0
        while running "$pid" && [ "$tries" -lt 100 ]; do
            tries=$((tries + 1))
            sleep 0.05
        done
        kill -9 "$pid" 2>/dev/null || true
    done
fi
rm -rf "$dir"
