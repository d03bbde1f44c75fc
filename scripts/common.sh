# Shared by scripts/run and scripts/test: installs what is missing, configures and builds.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${KIVOFS_BUILD_DIR:-$ROOT/build}"

# Debian packages the build and the tests need.
BUILD_PACKAGES=(g++ cmake make pkg-config libcli11-dev libgtest-dev libgmock-dev libbenchmark-dev
                libwxgtk3.2-dev help2man)
TEST_PACKAGES=(xvfb xauth xdotool x11-apps imagemagick clang libclang-rt-14-dev lintian man-db
               bash-completion ninja-build)
# The ROM-side reader's test builds a GBA program and runs it in an emulator.
READER_PACKAGES=(gcc-arm-none-eabi libnewlib-arm-none-eabi libmgba-dev)

install_missing() {
  local missing=()
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}

configure_and_build() {
  local werror=OFF
  if [ "${CI:-}" = "true" ]; then werror=ON; fi
  local launcher=()
  # ccache, when the machine has it, makes rebuilds in other checkouts of the tree cheap.
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S "$ROOT" -B "$BUILD" -DKIVOFS_WERROR="$werror" "${launcher[@]}" "$@" >/dev/null
  cmake --build "$BUILD" -j2
}
