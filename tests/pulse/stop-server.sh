#!/bin/sh
# Stops the daemon that start-server.sh started and removes its directory.
#   tests/pulse/stop-server.sh [DIR]     # DIR defaults to $SESSIONVOL_PULSE_DIR
set -eu
dir=${1:-${SESSIONVOL_PULSE_DIR:-}}
if [ -z "$dir" ] || [ ! -d "$dir" ]; then
    echo "stop-server.sh: no server directory given (argument or SESSIONVOL_PULSE_DIR)" >&2
    exit 2
fi
if [ -f "$dir/daemon.pid" ]; then
    pid=$(cat "$dir/daemon.pid")
    if kill "$pid" 2>/dev/null; then
        # Wait for it to exit (a zombie waiting for its reaper counts as gone).
        running() {
            state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null) || return 1
            [ -n "$state" ] && [ "$state" != Z ]
        }
        tries=0
        while running && [ "$tries" -lt 100 ]; do
            tries=$((tries + 1))
            sleep 0.05
        done
        kill -9 "$pid" 2>/dev/null || true
    fi
fi
rm -rf "$dir"
