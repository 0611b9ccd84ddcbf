# Sourced by the scripts: installs the Debian packages the build and the tests need, only
# those that are missing, quietly.
TESSALY_PACKAGES=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  librtmidi-dev libjack-jackd2-dev libasound2-dev jackd2
  qt6-base-dev qt6-svg-dev libgl-dev procps
  # The Debian package and its checks (scripts/package, scripts/package-check).
  dpkg-dev file lintian desktop-file-utils appstream man-db
  # The emulated guest of the ALSA tests (scripts/alsa-guest) and the tools run inside it.
  qemu-system-x86 busybox-static kmod cpio xz-utils alsa-utils python3-rtmidi
  # The SMF written by another library in the core tests (tests/capture/smf_mido_test.cpp).
  python3-mido
  # The end-to-end run on PipeWire's own JACK (tests/e2e/pipewire_server.sh).
  pipewire pipewire-bin pipewire-jack
)

tessaly_install_deps() {
  local missing=()
  local p
  for p in "${TESSALY_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
}
