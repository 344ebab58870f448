#!/usr/bin/env bash
# Runs the Windows product, sessionvol.exe, on Wine's USER32/GDI32/OLE32 under a
# private Xvfb display, driven by e2e/win's driver against the test audio service DLL.
#
#   e2e/run-wine.sh [path/to/sessionvol.exe]
#
# Without an argument the exe is built with the "windows" preset if needed. The e2e
# programs are always (re)built into build/e2e-win; a build that fails shows its
# output. Everything Wine writes goes to a fresh prefix in a temporary directory,
# removed at the end. No network is needed; works as root. Prints one line per case
# and "N passed, M failed"; exits non-zero if any case fails.
#
# The driver itself registers the test DLL as MMDeviceEnumerator in the prefix
# (HKLM\Software\Classes\CLSID\{BCDE0395-E52F-467C-8E3D-C4579291692E}\InprocServer32,
# ThreadingModel Both) after running the program over Wine's own audio service.
# Environment: SESSIONVOL_E2E_KEEP=1 keeps the temporary directory (pictures of failed
# comparisons are written to its pictures/ folder); SESSIONVOL_E2E_WINEDEBUG sets
# WINEDEBUG for the driver and the program (default -all).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/lib.sh
started_at=$(date +%s)

for tool in wine wineboot wineserver Xvfb cmake ninja x86_64-w64-mingw32-g++; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "run-wine.sh: $tool is missing (Debian packages: wine wine64 xvfb cmake ninja-build mingw-w64)" >&2
        exit 2
    }
done

exe=${1:-}
if [ -z "$exe" ]; then
    [ -f build/windows/build.ninja ] || quiet_unless_failing cmake --preset windows || exit 2
    quiet_unless_failing cmake --build --preset windows || exit 2
    exe=build/windows/src/sessionvol.exe
fi
[ -f "$exe" ] || { echo "run-wine.sh: $exe does not exist" >&2; exit 2; }
exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")

e2e_build=build/e2e-win
if [ ! -f "$e2e_build/build.ninja" ]; then
    quiet_unless_failing cmake -S e2e/win -B "$e2e_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" || exit 2
fi
quiet_unless_failing cmake --build "$e2e_build" || exit 2
driver=$root/$e2e_build/sessionvol-e2e.exe
service=$root/$e2e_build/sessionvol_e2e_audio.dll

work=$(mktemp -d "${TMPDIR:-/tmp}/sessionvol-wine.XXXXXX")
pulse_dir=""
cleanup() {
    # Only what this run started: its wineserver (by prefix), its Xvfb, its sound server.
    if [ -d "$work/prefix" ]; then WINEPREFIX="$work/prefix" timeout 30 wineserver -k >/dev/null 2>&1 || true; fi
    stop_private_display
    if [ -n "$pulse_dir" ]; then tests/pulse/stop-server.sh "$pulse_dir" >/dev/null 2>&1 || true; fi
    if [ "${SESSIONVOL_E2E_KEEP:-0}" = 1 ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

start_private_display

# Wine's server keeps its socket directory under TMPDIR; keep it inside the run.
mkdir -p "$work/tmp"
export TMPDIR="$work/tmp"
export WINEPREFIX="$work/prefix"
export WINEARCH=win64
export WINEDEBUG=${SESSIONVOL_E2E_WINEDEBUG:--all}
# No Mono or Gecko installers in a fresh prefix; no crash dialog ever waits for a click.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine's sound drivers look for a server here; nothing of the user's is reached.
mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
unset PULSE_SERVER
# Nor does any PulseAudio client of the run start a daemon of its own.
printf 'autospawn = no\n' >"$work/client.conf"
export PULSE_CLIENTCONFIG="$work/client.conf"

# Each step of the prefix's set-up has a bound; a fresh prefix takes some 20 s.
if ! timeout 300 wineboot -i >"$work/wineboot.log" 2>&1; then
    echo "run-wine.sh: wineboot -i failed or took more than 300 s; its log:" >&2
    tail -n 30 "$work/wineboot.log" >&2
    exit 2
fi
timeout 120 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 ||
    { echo "run-wine.sh: wine reg add failed or took more than 120 s" >&2; exit 2; }
timeout 120 wineserver -w || { echo "run-wine.sh: the wineserver did not end within 120 s" >&2; exit 2; }

# A private PulseAudio server gives Wine's own audio service a device, so the program
# over it gets as far as the session list, which Wine 8 answers with a stub
# (E_NOTIMPL). Without one, Wine falls back to ALSA, finds no device, and the program
# stops at GetDefaultAudioEndpoint. Either way it must show the zero status.
# A server that is there but does not start fails the run, and so does a missing one
# that the test script provisioned (SESSIONVOL_PROVISIONED).
if command -v pulseaudio >/dev/null 2>&1; then
    pulse_dir="$work/pulse"
    server=$(tests/pulse/start-server.sh "$pulse_dir") || { echo "run-wine.sh: the private PulseAudio server did not start" >&2; exit 2; }
    eval "$server"
    export XDG_RUNTIME_DIR="$work/runtime" PULSE_CLIENTCONFIG="$work/client.conf"
    echo "run-wine.sh: Wine's own audio service runs over PulseAudio ($PULSE_SERVER)" >&2
elif provisioned pulseaudio; then
    echo "run-wine.sh: the test script provisioned pulseaudio, yet it is not installed" >&2
    exit 2
else
    echo "run-wine.sh: no pulseaudio; Wine's own audio service has no device" >&2
fi

mkdir -p "$work/pictures"
status=0
# Wine's ALSA driver complains on stderr when there is no sound card; that noise goes
# to a log, shown only when the run fails.
timeout 600 wine "$driver" --exe "$exe" --service "$service" --register hklm \
    --pictures "$(winepath -w "$work/pictures" 2>/dev/null)" 2>"$work/stderr.log" | tr -d '\r' || status=$?
if [ "$status" -ne 0 ]; then
    echo "run-wine.sh: the driver exited with $status; its standard error:" >&2
    grep -v '^ALSA lib' "$work/stderr.log" >&2 || true
    if ls "$work/pictures"/*.bmp >/dev/null 2>&1; then SESSIONVOL_E2E_KEEP=1; fi
fi
echo "run-wine.sh: $(( $(date +%s) - started_at )) s" >&2
exit "$status"
