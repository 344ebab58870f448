# Shared by scripts/run and scripts/test.

# Debian packages the build and the tests need.
SESSIONVOL_BUILD_PACKAGES=(
  g++ cmake ninja-build pkg-config libgtest-dev
  libcairo2-dev libx11-dev libfontconfig-dev fonts-dejavu-core libpulse-dev libbenchmark-dev
  mingw-w64
)
SESSIONVOL_DESKTOP_PACKAGES=(xvfb xauth x11-utils imagemagick)
SESSIONVOL_TEST_PACKAGES=(pulseaudio pulseaudio-utils wine wine64)

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

# Starts a private X display and sets DISPLAY; stop_private_display ends it.
start_private_display() {
  local number
  for number in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ] && continue
    Xvfb ":$number" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    SESSIONVOL_XVFB_PID=$!
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$number" ] && { export DISPLAY=":$number"; return 0; }
      sleep 0.1
    done
    kill "$SESSIONVOL_XVFB_PID" 2>/dev/null || true
  done
  echo "could not start Xvfb" >&2
  return 1
}

stop_private_display() {
  [ -n "${SESSIONVOL_XVFB_PID:-}" ] && kill "$SESSIONVOL_XVFB_PID" 2>/dev/null && wait "$SESSIONVOL_XVFB_PID" 2>/dev/null
  SESSIONVOL_XVFB_PID=""
  return 0
}
