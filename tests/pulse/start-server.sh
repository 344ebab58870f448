#!/bin/sh
# Starts a private PulseAudio daemon for the tests and the benchmark: one null sink,
# the native protocol on a socket of its own, no system-wide configuration, never
# exiting when idle. Works as root (CI) and as a normal user.
#
#   eval "$(tests/pulse/start-server.sh)"    # exports PULSE_SERVER, XDG_RUNTIME_DIR, ...
#   ...                                        # run the program, pactl, pacat
#   tests/pulse/stop-server.sh                 # uses SESSIONVOL_PULSE_DIR
#
# An optional argument names the directory to use (created if missing); by default a
# new temporary one. Everything the daemon writes stays there.
set -eu

if ! command -v pulseaudio >/dev/null 2>&1; then
    echo "start-server.sh: pulseaudio is not installed (Debian: pulseaudio pulseaudio-utils)" >&2
    exit 2
fi

dir=${1:-$(mktemp -d "${TMPDIR:-/tmp}/sessionvol-pulse.XXXXXX")}
mkdir -p "$dir/runtime" "$dir/home" "$dir/config"
chmod 700 "$dir/runtime"
: >"$dir/config/daemon.conf"
: >"$dir/config/client.conf"
socket="$dir/runtime/native"

# PULSE_CONFIG and PULSE_CLIENTCONFIG point at empty files: no setting from /etc/pulse
# reaches the daemon or its clients. -n skips default.pa; the two modules are all.
env HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" XDG_CONFIG_HOME="$dir/config" \
    PULSE_CONFIG="$dir/config/daemon.conf" PULSE_CLIENTCONFIG="$dir/config/client.conf" \
    pulseaudio -n --daemonize=no --system=no --use-pid-file=no --exit-idle-time=-1 \
        --disallow-exit=no --realtime=no --high-priority=no --disable-shm=yes \
        --log-target=file:"$dir/daemon.log" --log-level=info \
        -L "module-null-sink sink_name=sessionvol_null sink_properties=device.description=sessionvol-null" \
        -L "module-native-protocol-unix socket=$socket auth-anonymous=1" \
        </dev/null >/dev/null 2>&1 &
pid=$!
echo "$pid" >"$dir/daemon.pid"

# Ready when a client gets an answer on the socket.
tries=0
until PULSE_SERVER="unix:$socket" PULSE_CLIENTCONFIG="$dir/config/client.conf" pactl info >/dev/null 2>&1; do
    tries=$((tries + 1))
    if ! kill -0 "$pid" 2>/dev/null || [ "$tries" -gt 100 ]; then
        echo "start-server.sh: the daemon did not come up; its log:" >&2
        cat "$dir/daemon.log" >&2 2>/dev/null || true
        kill "$pid" 2>/dev/null || true
        exit 1
    fi
    sleep 0.05
done

echo "export SESSIONVOL_PULSE_DIR='$dir'"
echo "export SESSIONVOL_PULSE_PID='$pid'"
echo "export PULSE_SERVER='unix:$socket'"
echo "export PULSE_CLIENTCONFIG='$dir/config/client.conf'"
echo "export XDG_RUNTIME_DIR='$dir/runtime'"
