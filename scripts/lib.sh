# Shared by scripts/run and scripts/test.

# Debian packages the build and the tests need.
SESSIONVOL_BUILD_PACKAGES=(
  g++ cmake ninja-build pkg-config libgtest-dev
  libcairo2-dev libpango1.0-dev libx11-dev libxext-dev libfontconfig-dev fonts-dejavu-core libpulse-dev libbenchmark-dev
  mingw-w64
)
SESSIONVOL_DESKTOP_PACKAGES=(xvfb xauth x11-utils imagemagick)
SESSIONVOL_TEST_PACKAGES=(pulseaudio pulseaudio-utils pipewire pipewire-pulse wireplumber fonts-noto-cjk wine wine64 clang-format git)
# What the benchmarks in bench/ run besides the build: the desktop mixer they compare
# with, and the system-call counter.
SESSIONVOL_BENCH_PACKAGES=(xvfb pulseaudio pulseaudio-utils pavucontrol strace)

# The main window's title, by which the scripts find it on the X display.
SESSIONVOL_TITLE="ISimpleAudioVolume::SetMasterVolume TEST2"

# Brings the release build up to date and names its program and X11 helper.
build_release() {
  cmake --preset linux-release >/dev/null
  cmake --build --preset linux-release >/dev/null
  program=build/linux-release/src/sessionvol
  x11_window=build/linux-release/tools/x11-window
}

# Installs whichever of the given packages are missing (needs root or sudo).
ensure_packages() {
  local missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Starts a private X display and sets DISPLAY; stop_private_display ends it. Xvfb
# picks a free display number itself and reports it once it accepts connections.
start_private_display() {
  local reported
  reported=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$reported" >/dev/null 2>&1 &
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
  [ -n "${SESSIONVOL_XVFB_PID:-}" ] && kill "$SESSIONVOL_XVFB_PID" 2>/dev/null && wait "$SESSIONVOL_XVFB_PID" 2>/dev/null
  SESSIONVOL_XVFB_PID=""
  return 0
}
