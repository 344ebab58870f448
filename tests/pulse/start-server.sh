#!/bin/sh
# Starts a private sound server for the tests and the benchmark: one null sink, the
# PulseAudio native protocol on a socket of its own, no system-wide or user state,
# never exiting when idle. Works as root (CI) and as a normal user.
#
#   eval "$(tests/pulse/start-server.sh)"    # exports PULSE_SERVER, XDG_RUNTIME_DIR, ...
#   ...                                        # run the program, pactl, pacat
#   tests/pulse/stop-server.sh                 # uses SESSIONVOL_PULSE_DIR
#
# SESSIONVOL_PULSE_SERVER_KIND picks the server: pulseaudio (the default), or pipewire
# (PipeWire with WirePlumber and pipewire-pulse, its PulseAudio server, on a private
# D-Bus session bus). An optional argument names the directory to use (created if
# missing); by default a new temporary one. Everything the servers write stays there.
set -eu

kind=${SESSIONVOL_PULSE_SERVER_KIND:-pulseaudio}
case "$kind" in
pulseaudio) needed="pulseaudio" packages="pulseaudio pulseaudio-utils" ;;
pipewire) needed="pipewire wireplumber pipewire-pulse dbus-daemon" packages="pipewire pipewire-pulse wireplumber dbus" ;;
*)
    echo "start-server.sh: unknown SESSIONVOL_PULSE_SERVER_KIND '$kind' (pulseaudio or pipewire)" >&2
    exit 2
    ;;
esac
for tool in $needed; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "start-server.sh: $tool is not installed (Debian: $packages)" >&2
        exit 2
    fi
done

dir=${1:-$(mktemp -d "${TMPDIR:-/tmp}/sessionvol-pulse.XXXXXX")}
mkdir -p "$dir/runtime" "$dir/home" "$dir/config" "$dir/state"
chmod 700 "$dir/runtime"
: >"$dir/config/daemon.conf"
: >"$dir/config/client.conf"
: >"$dir/daemon.pids"

# Every process goes into daemon.pids as it starts, so that stop-server.sh (also after a
# failed start) ends them all; the one a test kills to lose its server is the last.
started() { echo "$1" >>"$dir/daemon.pids"; }
fail() {
    echo "start-server.sh: $1; the logs:" >&2
    tail -n 20 "$dir"/*.log >&2 2>/dev/null || true
    "$(dirname "$0")/stop-server.sh" "$dir" >/dev/null 2>&1 || true
    exit 1
}

# Waits up to 5 s for a daemon's socket to appear.
await_socket() {
    tries=0
    until [ -S "$1" ]; do
        tries=$((tries + 1))
        [ "$tries" -le 100 ] || fail "$2 did not come up"
        sleep 0.05
    done
}

# No setting from /etc or the user's home reaches the servers or their clients.
export HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" XDG_CONFIG_HOME="$dir/config" XDG_STATE_HOME="$dir/state"
export PULSE_CONFIG="$dir/config/daemon.conf" PULSE_CLIENTCONFIG="$dir/config/client.conf"

if [ "$kind" = pulseaudio ]; then
    socket="$dir/runtime/native"
    # -n skips default.pa; the two modules are all.
    pulseaudio -n --daemonize=no --system=no --use-pid-file=no --exit-idle-time=-1 \
        --disallow-exit=no --realtime=no --high-priority=no --disable-shm=yes \
        --log-target=file:"$dir/daemon.log" --log-level=info \
        -L "module-null-sink sink_name=sessionvol_null sink_properties=device.description=sessionvol-null" \
        -L "module-native-protocol-unix socket=$socket auth-anonymous=1" \
        </dev/null >/dev/null 2>&1 &
    started $!
else
    socket="$dir/runtime/pulse/native"
    # WirePlumber needs a session bus, which CI (root, no login session) does not have.
    bus="unix:path=$dir/runtime/bus"
    dbus-daemon --session --address="$bus" --nofork --nopidfile </dev/null >"$dir/dbus.log" 2>&1 &
    started $!
    export DBUS_SESSION_BUS_ADDRESS="$bus" PIPEWIRE_RUNTIME_DIR="$dir/runtime"
    await_socket "$dir/runtime/bus" "the session bus"
    pipewire </dev/null >"$dir/pipewire.log" 2>&1 &
    started $!
    await_socket "$dir/runtime/pipewire-0" "pipewire"
    wireplumber </dev/null >"$dir/wireplumber.log" 2>&1 &
    started $!
    pipewire-pulse </dev/null >"$dir/daemon.log" 2>&1 &
    started $!
fi
pid=$(tail -n 1 "$dir/daemon.pids")

# Ready when a client gets an answer on the socket.
tries=0
until PULSE_SERVER="unix:$socket" timeout 5 pactl info >/dev/null 2>&1; do
    tries=$((tries + 1))
    if ! kill -0 "$pid" 2>/dev/null || [ "$tries" -gt 100 ]; then
        fail "the server did not come up"
    fi
    sleep 0.05
done

if [ "$kind" = pipewire ]; then
    # The same sink as the PulseAudio daemon's, made the default by name: WirePlumber
    # would otherwise choose by priority among it and its own dummy sink.
    PULSE_SERVER="unix:$socket" timeout 10 pactl load-module module-null-sink sink_name=sessionvol_null \
        sink_properties=device.description=sessionvol-null >/dev/null || fail "no null sink"
    # The sink takes a moment to reach WirePlumber; until then choosing it fails.
    tries=0
    until PULSE_SERVER="unix:$socket" timeout 5 pactl set-default-sink sessionvol_null 2>/dev/null &&
        [ "$(PULSE_SERVER="unix:$socket" timeout 5 pactl get-default-sink 2>/dev/null)" = sessionvol_null ]; do
        tries=$((tries + 1))
        [ "$tries" -le 100 ] || fail "the null sink did not become the default"
        sleep 0.05
    done
fi

echo "export SESSIONVOL_PULSE_DIR='$dir'"
echo "export SESSIONVOL_PULSE_PID='$pid'"
echo "export SESSIONVOL_PULSE_SERVER_KIND='$kind'"
echo "export PULSE_SERVER='unix:$socket'"
echo "export PULSE_CLIENTCONFIG='$dir/config/client.conf'"
echo "export XDG_RUNTIME_DIR='$dir/runtime'"
