# Shared by scripts/run, scripts/test and scripts/package.

# Debian packages that building the Linux program needs (scripts/run installs only
# these, and the desktop ones when there is no display).
SESSIONVOL_BUILD_PACKAGES=(
  g++ cmake ninja-build pkg-config
  libcairo2-dev libpango1.0-dev libx11-dev libfontconfig-dev fonts-dejavu-core libpulse-dev
)
# A private virtual display, its screenshots, and the display check.
SESSIONVOL_DESKTOP_PACKAGES=(xvfb xauth x11-utils imagemagick)
# The tests, benchmarks and packages: the Windows cross build, the .deb's dependency
# computation (dpkg-dev, file), clang for the linux-clang preset.
SESSIONVOL_PACKAGE_PACKAGES=(libgtest-dev libbenchmark-dev libxext-dev mingw-w64 dpkg-dev file)
SESSIONVOL_TEST_PACKAGES=(pulseaudio pulseaudio-utils pipewire pipewire-pulse wireplumber dbus-daemon fonts-noto-cjk wine wine64 clang libclang-rt-14-dev clang-format git unzip gdb)
# What the benchmarks in bench/ run besides the build: the desktop mixer they compare
# with, and the system-call counter.
SESSIONVOL_BENCH_PACKAGES=(xvfb pulseaudio pulseaudio-utils pavucontrol strace)

# The main window's title, by which the scripts find it on the X display.
SESSIONVOL_TITLE="ISimpleAudioVolume::SetMasterVolume TEST2"

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

# Installs whichever of the given packages are missing, as root or through sudo.
# Without either it prints the one command to run and stops.
ensure_packages() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
      echo "These Debian packages are missing; install them as root with:" >&2
      echo "apt-get install ${missing[*]}" >&2
      exit 1
    fi
    sudo=(sudo)
  fi
  echo "== installing Debian packages: ${missing[*]}"
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
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
