# Shared by scripts/run and scripts/test: installs what is missing, configures and builds.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${KIVOFS_BUILD_DIR:-$ROOT/build}"

# Debian packages the build and the tests need.
BUILD_PACKAGES=(g++ cmake make pkg-config libcli11-dev libgtest-dev libgmock-dev libbenchmark-dev
                libwxgtk3.2-dev help2man libfuse3-dev)
TEST_PACKAGES=(xvfb xauth xdotool x11-apps imagemagick clang libclang-rt-14-dev lintian man-db
               bash-completion ninja-build fuse3 strace)
# The ROM-side reader's tests build a GBA and a DS program and run them in emulators.
READER_PACKAGES=(gcc-arm-none-eabi libnewlib-arm-none-eabi libmgba-dev retroarch-dev)
# DeSmuME's libretro core, for the DS test: unpacked into the build folder, not installed (the
# package would pull in a front end). The test's runner loads it in-process.
DESMUME_PACKAGES=(libretro-desmume libtinyxml2.6.2v5)

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

unpack_desmume() {
  local dir="$BUILD/desmume"
  if [ -f "$dir/desmume_libretro.so" ] && [ -f "$dir/libtinyxml.so.2.6.2" ]; then return; fi
  local tmp
  tmp="$(mktemp -d)"
  # A fresh machine may have no package lists yet.
  if ! (cd "$tmp" && apt-get download -qq "${DESMUME_PACKAGES[@]}" 2>/dev/null); then
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
    "${sudo[@]}" apt-get update -qq
    (cd "$tmp" && apt-get download -qq "${DESMUME_PACKAGES[@]}")
  fi
  for deb in "$tmp"/*.deb; do dpkg-deb -x "$deb" "$tmp/root"; done
  mkdir -p "$dir"
  cp "$tmp"/root/usr/lib/*/libretro/desmume_libretro.so "$tmp"/root/usr/lib/*/libtinyxml.so.2.6.2 "$dir/"
  rm -rf "$tmp"
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
