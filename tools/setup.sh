#!/usr/bin/env bash
# Installs everything Tapeloom needs to build, run and test on Debian 12 (run as root).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
packages=(
  build-essential cmake ninja-build pkg-config clang-format
  clang libclang-rt-14-dev                       # libFuzzer and sanitizers
  qt6-base-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins libgl-dev
  libgtest-dev
  gcc-arm-none-eabi libnewlib-arm-none-eabi binutils-arm-none-eabi
  libmgba-dev libpng-dev zlib1g-dev
  opense-basic pasmo sdcc libspectrum-dev fuse-emulator-utils
  xvfb xauth imagemagick xdg-utils fonts-dejavu-core
  dpkg-dev librsvg2-bin file man-db              # installing and the Debian package
  desktop-file-utils appstream                   # validators of the menu entry and metadata
  rofi                                           # a menu for tools/menu_screenshot.sh
  python3
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  if [ "$(id -u)" -ne 0 ]; then
    echo "tools/setup.sh: missing packages (${missing[*]}); run as root" >&2
    exit 1
  fi
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
