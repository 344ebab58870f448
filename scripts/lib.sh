# Shared by scripts/run, scripts/test and scripts/package.

# Debian packages that building the Linux program needs (scripts/run installs only
# these, and the desktop ones when there is no display).
SESSIONVOL_BUILD_PACKAGES=(
  g++ cmake ninja-build pkg-config
  libcairo2-dev libpango1.0-dev libx11-dev libfontconfig-dev fonts-dejavu-core libpulse-dev
  libwayland-dev libwayland-bin wayland-protocols libxkbcommon-dev libdecor-0-dev
  # Not for the build: the plugin libdecor loads at run time to draw the title bar
  # where the compositor draws none (GNOME).
  libdecor-0-plugin-1-cairo
)
# A private virtual display, its screenshots, and the display check.
SESSIONVOL_DESKTOP_PACKAGES=(xvfb xauth x11-utils imagemagick)
# The tests, benchmarks and packages: the Windows cross build, the .deb's dependency
# computation (dpkg-dev, file), clang for the linux-clang preset.
SESSIONVOL_PACKAGE_PACKAGES=(libgtest-dev libbenchmark-dev libxext-dev mingw-w64 dpkg-dev file git)
# The arm64 cross build (linux-arm64 preset): Debian's aarch64 compiler, the arm64
# libraries beside the amd64 ones (multiarch; ensure_packages adds the architecture),
# and qemu-aarch64, which runs the arm64 tests here.
SESSIONVOL_ARM64_PACKAGES=(g++-aarch64-linux-gnu qemu-user
  libcairo2-dev:arm64 libpango1.0-dev:arm64 libx11-dev:arm64 libfontconfig-dev:arm64 libpulse-dev:arm64
  libwayland-dev:arm64 libxkbcommon-dev:arm64 libdecor-0-dev:arm64
  libgtest-dev:arm64 libbenchmark-dev:arm64 libxext-dev:arm64)
# Besides the test tools: the packages' checkers (lintian, appstreamcli,
# desktop-file-validate), make for the source tarball's plain cmake build, and the
# compositors the wayland backend is tested under with what drives them (sway nested in
# Xvfb, grim for pictures, xdotool for input, jq for sway's window tree; KWin, the one
# that offers fractional scales, nested in Xvfb too; weston, which draws no title bars,
# with python3 to find the window in its pictures), and xset and xrdb: the X server's
# own key repeat off under sway, and Xft.dpi changed under the running program as a
# desktop changes it.
SESSIONVOL_TEST_PACKAGES=(pulseaudio pulseaudio-utils pipewire pipewire-pulse wireplumber dbus-daemon fonts-noto-cjk wine wine64 clang libclang-rt-14-dev clang-format git unzip gdb
  lintian appstream desktop-file-utils make sway grim xdotool jq x11-xserver-utils kwin-wayland weston python3)
# What the benchmarks in bench/ run besides the build: the desktop mixer they compare
# with, and the system-call counter.
SESSIONVOL_BENCH_PACKAGES=(xvfb x11-xserver-utils pulseaudio pulseaudio-utils pavucontrol strace)

# Prints the main window's title, by which the scripts find it on the X display. It is
# read from the program's source by the same CMake code that hands it to the tests and
# the e2e driver (cmake/ProgramNames.cmake): the program spells it, nothing else does.
sessionvol_title() {
  cmake -P "$(dirname "${BASH_SOURCE[0]}")/../cmake/ProgramNames.cmake"
}

# What a test script does where a need outside the program is missing (x11, pulseaudio,
# pipewire, wine, wayland; the names tests/provisioned.h gives them): without it the
# test is skipped (exit 77, which ctest counts as a skip), unless the test script
# provisioned that need and named it in SESSIONVOL_PROVISIONED: then it fails (exit 1).
provisioned() { # NEED
  [[ ",${SESSIONVOL_PROVISIONED:-}," == *",$1,"* ]]
}
skip_for_missing() { # NEED REASON
  if provisioned "$1"; then
    echo "FAIL: the test script provisioned $1, yet it is missing: $2"
    exit 1
  fi
  echo "SKIP: needs $1: $2"
  exit 77
}

# Brings the release build (with tests and benchmarks) up to date and names its
# program and X11 helper. Used by the benchmarks.
build_release() {
  cmake --preset linux-release >/dev/null
  cmake --build --preset linux-release
  program=build/linux-release/src/sessionvol
  x11_window=build/linux-release/tools/x11-window
}

# Builds the program alone (no tests: BUILD_TESTING OFF), optimised, in build/run, as a
# packager would: the build's progress and any compiler error show as they come.
build_program() {
  echo "== building sessionvol in build/run"
  cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
  cmake --build build/run "$@"
  program=build/run/src/sessionvol
  x11_window=build/run/tools/x11-window
}

# Installs whichever of the given packages are missing, as root or through sudo. A
# name with an architecture (libcairo2-dev:arm64) first adds that architecture to dpkg.
# Without root or sudo it prints the commands to run and stops.
ensure_packages() {
  local missing=() architectures=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" && continue
    missing+=("$package")
    if [[ "$package" == *:* ]] && [ "${package#*:}" != "$(dpkg --print-architecture)" ] &&
      ! dpkg --print-foreign-architectures | grep -qx "${package#*:}" &&
      [[ " ${architectures[*]} " != *" ${package#*:} "* ]]; then
      architectures+=("${package#*:}")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=() architecture
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
      echo "These Debian packages are missing; install them as root with:" >&2
      for architecture in "${architectures[@]}"; do echo "dpkg --add-architecture $architecture" >&2; done
      [ ${#architectures[@]} -eq 0 ] || echo "apt-get update" >&2
      echo "apt-get install ${missing[*]}" >&2
      exit 1
    fi
    sudo=(sudo)
  fi
  for architecture in "${architectures[@]}"; do
    echo "== adding the Debian architecture $architecture"
    "${sudo[@]}" dpkg --add-architecture "$architecture"
  done
  echo "== installing Debian packages: ${missing[*]}"
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Starts a private X display and sets DISPLAY; stop_private_display ends it. Xvfb
# picks a free display number itself and reports it once it accepts connections.
# start_private_display [WIDTHxHEIGHT [XVFB OPTIONS...]]: a screen of
# $SESSIONVOL_XVFB_SCREEN, else 1280 x 1024, unless told otherwise.
# -noreset: by default the server resets whenever its last client leaves, and a client
# that connects meanwhile is refused; tests that come and go one after another then
# find "cannot open display" now and then, and skip.
start_private_display() {
  local reported size=${1:-${SESSIONVOL_XVFB_SCREEN:-1280x1024}}
  reported=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset "${@:2}" 3>"$reported" >/dev/null 2>&1 &
  SESSIONVOL_XVFB_PID=$!
  for _ in $(seq 100); do
    [ -s "$reported" ] && break
    kill -0 "$SESSIONVOL_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$reported" ]; then
    echo "could not start Xvfb" >&2
    rm -f "$reported"
    return 1
  fi
  export DISPLAY=":$(head -n1 "$reported")"
  unset WAYLAND_DISPLAY
  rm -f "$reported"
}

stop_private_display() {
  [ -n "${SESSIONVOL_XVFB_PID:-}" ] && end_process "$SESSIONVOL_XVFB_PID"
  SESSIONVOL_XVFB_PID=""
  return 0
}

# Starts sway nested in the private X display (start_private_display first), as the
# unprivileged user SESSIONVOL_SWAY_USER (default sessionvol-sway, created when missing:
# sway refuses to run as root), with its output of 1600 by 1000 pixels at SCALE and the
# program's window floating. Sets SESSIONVOL_SWAY_SOCKET (the compositor's socket, an
# absolute path for WAYLAND_DISPLAY) and SESSIONVOL_SWAY_PID; returns 1 when sway does
# not come up within 10 s. stop_private_sway ends it. Needs root.
start_private_sway() { # SCALE
  local user=${SESSIONVOL_SWAY_USER:-sessionvol-sway}
  ensure_system_user "$user" || return 1
  SESSIONVOL_SWAY_DIR=$(mktemp -d)
  chmod 755 "$SESSIONVOL_SWAY_DIR"
  mkdir -m 700 "$SESSIONVOL_SWAY_DIR/run"
  chown "$user" "$SESSIONVOL_SWAY_DIR/run"
  cat >"$SESSIONVOL_SWAY_DIR/config" <<CONFIG
xwayland disable
output * resolution 1600x1000 position 0 0 scale $1
floating_maximum_size -1 x -1
for_window [app_id="io.github.sessionvol.sessionvol"] floating enable
CONFIG
  chmod 644 "$SESSIONVOL_SWAY_DIR/config"
  setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups env -i PATH=/usr/bin:/bin DISPLAY="$DISPLAY" \
    HOME="$SESSIONVOL_SWAY_DIR/run" XDG_RUNTIME_DIR="$SESSIONVOL_SWAY_DIR/run" SWAYSOCK="$SESSIONVOL_SWAY_DIR/run/ipc.sock" \
    WLR_BACKENDS=x11 WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 sway -c "$SESSIONVOL_SWAY_DIR/config" \
    >"$SESSIONVOL_SWAY_DIR/sway.log" 2>&1 &
  SESSIONVOL_SWAY_PID=$!
  SESSIONVOL_SWAY_SOCKET=$SESSIONVOL_SWAY_DIR/run/wayland-1
  for _ in $(seq 100); do
    [ -S "$SESSIONVOL_SWAY_SOCKET" ] && as_sway_user swaymsg -t get_version >/dev/null 2>&1 && return 0
    process_running "$SESSIONVOL_SWAY_PID" || break
    sleep 0.1
  done
  echo "sway did not come up at scale $1; the end of its log:" >&2
  tail -5 "$SESSIONVOL_SWAY_DIR/sway.log" >&2
  return 1
}

# Runs a command as sway's user, as a client of the sway started last (grim, swaymsg).
as_sway_user() {
  local user=${SESSIONVOL_SWAY_USER:-sessionvol-sway}
  setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups env XDG_RUNTIME_DIR="$SESSIONVOL_SWAY_DIR/run" \
    WAYLAND_DISPLAY=wayland-1 SWAYSOCK="$SESSIONVOL_SWAY_DIR/run/ipc.sock" "$@"
}

# Ends sway (SIGKILL with KILL as its argument: a compositor that dies) and removes its
# folder.
stop_private_sway() { # [KILL]
  if [ -n "${SESSIONVOL_SWAY_PID:-}" ]; then
    if [ "${1:-}" = KILL ]; then kill -KILL "$SESSIONVOL_SWAY_PID" 2>/dev/null || true; fi
    end_process "$SESSIONVOL_SWAY_PID" 5
  fi
  SESSIONVOL_SWAY_PID=""
  [ -n "${SESSIONVOL_SWAY_DIR:-}" ] && rm -rf "$SESSIONVOL_SWAY_DIR"
  SESSIONVOL_SWAY_DIR=""
  return 0
}

# Starts KWin (kwin_wayland, which offers wp_fractional_scale_v1 and wp_viewporter)
# nested in the private X display (start_private_display first, with a screen of the
# output's device size), with QPainter compositing (no GPU needed), as the unprivileged
# user SESSIONVOL_KWIN_USER (default sessionvol-kwin, created when missing), on a session
# bus of its own. Its output is 1600 by 1000 logical pixels at SCALE (1.5: 2400 x 1500
# device pixels). The program's window (its app_id) is placed at logical (100, 100)
# without a frame: both scales tested put its corner on a whole device pixel, where the
# compositor can show the buffer's pixels as they are. Sets SESSIONVOL_KWIN_SOCKET (an
# absolute path for WAYLAND_DISPLAY); returns 1 when KWin does not come up within 20 s.
# stop_private_kwin ends it. Needs root.
start_private_kwin() { # SCALE
  local user=${SESSIONVOL_KWIN_USER:-sessionvol-kwin} kwin
  kwin=$(command -v kwin_wayland) || return 1
  ensure_system_user "$user" || return 1
  SESSIONVOL_KWIN_DIR=$(mktemp -d)
  chmod 755 "$SESSIONVOL_KWIN_DIR"
  # Debian gives kwin_wayland the file capability cap_sys_resource. Where the capability
  # is not in the process's bounding set (a container, as CI's), the kernel refuses to
  # run such a file at all (EPERM); a copy carries no capability, and KWin does without.
  cp "$kwin" "$SESSIONVOL_KWIN_DIR/kwin_wayland"
  mkdir -m 700 "$SESSIONVOL_KWIN_DIR/run"
  mkdir "$SESSIONVOL_KWIN_DIR/run/config"
  cat >"$SESSIONVOL_KWIN_DIR/run/config/kwinrulesrc" <<RULES
[General]
count=1
rules=1

[1]
Description=sessionvol where the tests look for it
wmclass=io.github.sessionvol.sessionvol
wmclassmatch=1
position=100,100
positionrule=2
noborder=true
noborderrule=2
RULES
  chown -R "$user" "$SESSIONVOL_KWIN_DIR/run"
  SESSIONVOL_KWIN_BUS=unix:path=$SESSIONVOL_KWIN_DIR/run/bus
  setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups env -i PATH=/usr/bin:/bin \
    dbus-daemon --session --nofork --nopidfile --address="$SESSIONVOL_KWIN_BUS" </dev/null >"$SESSIONVOL_KWIN_DIR/dbus.log" 2>&1 &
  SESSIONVOL_KWIN_BUS_PID=$!
  setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups env -i PATH=/usr/bin:/bin DISPLAY="$DISPLAY" \
    HOME="$SESSIONVOL_KWIN_DIR/run" XDG_RUNTIME_DIR="$SESSIONVOL_KWIN_DIR/run" XDG_CONFIG_HOME="$SESSIONVOL_KWIN_DIR/run/config" \
    DBUS_SESSION_BUS_ADDRESS="$SESSIONVOL_KWIN_BUS" KWIN_COMPOSE=Q "$SESSIONVOL_KWIN_DIR/kwin_wayland" --x11-display "$DISPLAY" \
    --socket wayland-kwin --width 1600 --height 1000 --scale "$1" --no-lockscreen --no-global-shortcuts --no-kactivities \
    >"$SESSIONVOL_KWIN_DIR/kwin.log" 2>&1 &
  SESSIONVOL_KWIN_PID=$!
  SESSIONVOL_KWIN_SOCKET=$SESSIONVOL_KWIN_DIR/run/wayland-kwin
  for _ in $(seq 200); do
    [ -S "$SESSIONVOL_KWIN_SOCKET" ] && as_kwin_user dbus-send --session --dest=org.kde.KWin --print-reply /KWin \
      org.kde.KWin.currentDesktop >/dev/null 2>&1 && return 0
    process_running "$SESSIONVOL_KWIN_PID" || break
    sleep 0.1
  done
  echo "KWin did not come up at scale $1; the end of its log:" >&2
  tail -5 "$SESSIONVOL_KWIN_DIR/kwin.log" >&2
  return 1
}

# Runs a command as KWin's user, on its session bus (dbus-send to KWin).
as_kwin_user() {
  local user=${SESSIONVOL_KWIN_USER:-sessionvol-kwin}
  setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups env DBUS_SESSION_BUS_ADDRESS="$SESSIONVOL_KWIN_BUS" "$@"
}

# Prints what KWin says of the program's window, one "key value" a line (x, y, width,
# height in logical pixels, caption, resourceClass: the app_id), or nothing while it
# has none. KWin's window search (its WindowsRunner) gives the window's id.
kwin_window_info() {
  local id
  id=$(as_kwin_user dbus-send --session --dest=org.kde.KWin --print-reply /WindowsRunner org.kde.krunner1.Match \
    string:"$(sessionvol_title)" 2>/dev/null | sed -n 's/^ *string "0_\({[^}]*}\)"$/\1/p' | head -1)
  [ -n "$id" ] || return 0
  as_kwin_user dbus-send --session --dest=org.kde.KWin --print-reply /KWin org.kde.KWin.getWindowInfo string:"$id" 2>/dev/null |
    awk '/^ *string "/ && key == "" { key = $2; gsub(/"/, "", key); next }
         key != "" { sub(/^ *variant *[a-z0-9]+ /, ""); gsub(/"/, ""); print key, $0; key = "" }'
}

# Maximises the program's window through KWin's scripting (a script loaded and started
# over D-Bus); returns 1 when KWin did not take the script.
kwin_maximize_program() {
  local script=$SESSIONVOL_KWIN_DIR/maximize.js
  cat >"$script" <<'SCRIPT'
for (const window of workspace.clientList()) {
    if (String(window.resourceClass) === "io.github.sessionvol.sessionvol") window.setMaximize(true, true);
}
SCRIPT
  chmod 644 "$script"
  as_kwin_user dbus-send --session --dest=org.kde.KWin --print-reply /Scripting org.kde.kwin.Scripting.loadScript \
    string:"$script" string:sessionvol-maximize >/dev/null &&
    as_kwin_user dbus-send --session --dest=org.kde.KWin --print-reply /Scripting org.kde.kwin.Scripting.start >/dev/null
}

stop_private_kwin() {
  [ -n "${SESSIONVOL_KWIN_PID:-}" ] && end_process "$SESSIONVOL_KWIN_PID" 5
  [ -n "${SESSIONVOL_KWIN_BUS_PID:-}" ] && end_process "$SESSIONVOL_KWIN_BUS_PID" 5
  SESSIONVOL_KWIN_PID="" SESSIONVOL_KWIN_BUS_PID=""
  [ -n "${SESSIONVOL_KWIN_DIR:-}" ] && rm -rf "$SESSIONVOL_KWIN_DIR"
  SESSIONVOL_KWIN_DIR=""
  return 0
}

# The start of a test of the program under a compositor: skips (fails where wayland is
# provisioned) without one of TOOLS or without root, which the compositors' own users
# and the program's PID namespace need; makes OUTPUT anew and a work folder, $work; and
# on exit ends the program ($program_pid), the compositor (STOP, a function) and the
# private display.
begin_compositor_test() { # OUTPUT STOP TOOL...
  local tool
  for tool in "${@:3}"; do
    command -v "$tool" >/dev/null 2>&1 || skip_for_missing wayland "$tool is not installed (scripts/test installs it)"
  done
  if [ "$(id -u)" -ne 0 ]; then
    skip_for_missing wayland "needs root: the program runs in a PID namespace, sway and KWin as users of their own"
  fi
  rm -rf "$1"
  mkdir -p "$1"
  work=$(mktemp -d)
  chmod 755 "$work"
  program_pid=""
  compositor_stop=$2
  trap end_compositor_test EXIT
}

end_compositor_test() {
  [ -n "$program_pid" ] && end_process "$program_pid" 2
  "$compositor_stop"
  stop_private_display
  rm -rf "$work"
}

# Creates a system user without a home or a login, for a compositor run as a user of
# its own.
ensure_system_user() { # NAME
  id "$1" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$1"
}

# The program on a real display, for the tests that compare it with the offscreen
# backend: started in a PID namespace of its own, so that the process ID in its value row
# (the simulated service's demo session is the program's own process) reads the same in
# every run. Sets SESSIONVOL_PROGRAM_PID.
start_program_in_pid_namespace() { # PROGRAM ENVIRONMENT...
  env "${@:2}" PLATFORM_AUDIO=sim unshare --pid --fork --kill-child sh -c '"$0" & wait $!' "$1" &
  SESSIONVOL_PROGRAM_PID=$!
}

# The program's complete first frame at SCALE from the offscreen backend, as a PNG: the
# reference a real display at that scale is compared with.
offscreen_reference_frame() { # PROGRAM SCALE FILE
  local dumps last
  dumps=$(mktemp -d)
  PLATFORM_VIDEO=offscreen PLATFORM_VIDEO_SCALE="$2" PLATFORM_VIDEO_DUMP="$dumps" PLATFORM_AUDIO=sim \
    unshare --pid --fork --kill-child sh -c '"$0" & program=$!; sleep 3; kill $program; wait $program' "$1" \
    >/dev/null 2>&1
  last=$(ls "$dumps"/*.png 2>/dev/null | tail -1)
  [ -n "$last" ] && cp "$last" "$3"
  local status=$?
  rm -rf "$dumps"
  return "$status"
}

# How many pixels two pictures differ in (ImageMagick's compare; a message when they
# cannot be compared, a different size say).
differing_pixels() { compare -metric AE "$@" null: 2>&1 || true; }

# Starts weston nested in the private X display (start_private_display first): its x11
# backend with the pixman renderer, one output of WIDTHxHEIGHT at the X screen's top
# left, the desktop shell without panel, animations or screen lock, on a background of
# the one colour SESSIONVOL_WESTON_BACKGROUND (#204060). Weston offers no
# zxdg_decoration_manager_v1: its windows draw their own title bars, as on GNOME. Sets
# SESSIONVOL_WESTON_SOCKET (an absolute path for WAYLAND_DISPLAY) and
# SESSIONVOL_WESTON_PID; returns 1 when it does not come up within 10 s.
# stop_private_weston ends it.
SESSIONVOL_WESTON_BACKGROUND="#204060"
start_private_weston() { # WIDTHxHEIGHT
  SESSIONVOL_WESTON_DIR=$(mktemp -d)
  mkdir -m 700 "$SESSIONVOL_WESTON_DIR/run"
  cat >"$SESSIONVOL_WESTON_DIR/weston.ini" <<CONFIG
[core]
idle-time=0
[shell]
panel-position=none
background-color=0xff${SESSIONVOL_WESTON_BACKGROUND#\#}
locking=false
animation=none
close-animation=none
startup-animation=none
focus-animation=none
CONFIG
  env -i PATH=/usr/bin:/bin DISPLAY="$DISPLAY" HOME="$SESSIONVOL_WESTON_DIR/run" \
    XDG_RUNTIME_DIR="$SESSIONVOL_WESTON_DIR/run" weston --backend=x11-backend.so --use-pixman \
    --width="${1%x*}" --height="${1#*x}" --socket=wayland-1 --config="$SESSIONVOL_WESTON_DIR/weston.ini" \
    >"$SESSIONVOL_WESTON_DIR/weston.log" 2>&1 &
  SESSIONVOL_WESTON_PID=$!
  SESSIONVOL_WESTON_SOCKET=$SESSIONVOL_WESTON_DIR/run/wayland-1
  for _ in $(seq 100); do
    [ -S "$SESSIONVOL_WESTON_SOCKET" ] && return 0
    process_running "$SESSIONVOL_WESTON_PID" || break
    sleep 0.1
  done
  echo "weston did not come up; the end of its log:" >&2
  tail -5 "$SESSIONVOL_WESTON_DIR/weston.log" >&2
  return 1
}

stop_private_weston() {
  [ -n "${SESSIONVOL_WESTON_PID:-}" ] && end_process "$SESSIONVOL_WESTON_PID" 5
  SESSIONVOL_WESTON_PID=""
  [ -n "${SESSIONVOL_WESTON_DIR:-}" ] && rm -rf "$SESSIONVOL_WESTON_DIR"
  SESSIONVOL_WESTON_DIR=""
  return 0
}

# True while the process runs (a zombie that waits for its parent does not count).
process_running() {
  local state
  state=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null) && [ -n "$state" ] && [ "$state" != Z ]
}

# Waits up to SECONDS for a child process to end and returns its exit code, or 124
# (as timeout(1) does) when it is still running then.
wait_for_exit() { # PID SECONDS
  local tenths=$(($2 * 10))
  while process_running "$1" && [ "$tenths" -gt 0 ]; do
    tenths=$((tenths - 1))
    sleep 0.1
  done
  process_running "$1" && return 124
  local status=0
  wait "$1" 2>/dev/null || status=$?
  return "$status"
}

# Ends a process this script started: SIGTERM, up to SECONDS (default 10) to end, then
# SIGKILL. Safe under set -e, also for a process that has ended already.
end_process() { # PID [SECONDS]
  local status=0
  if kill "$1" 2>/dev/null; then
    wait_for_exit "$1" "${2:-10}" || status=$?
    if [ "$status" -eq 124 ]; then
      kill -9 "$1" 2>/dev/null || true
      wait "$1" 2>/dev/null || true
    fi
  else
    wait "$1" 2>/dev/null || true
  fi
  return 0
}

# Runs a command with its output held back; shows the output only when the command
# fails (a build's compiler errors, say), and returns its exit code.
quiet_unless_failing() { # COMMAND...
  local output status=0
  output=$(mktemp)
  "$@" >"$output" 2>&1 || status=$?
  [ "$status" -eq 0 ] || { echo "failed ($status): $*" >&2; cat "$output" >&2; }
  rm -f "$output"
  return "$status"
}
