#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-serialport-dev libgl-dev libhidapi-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # Liberation Sans stands in for the Arial the windows ask for; DejaVu is the fallback;
  # WenQuanYi has the full-width colon of "COM：" and the Chinese status texts.
  fonts-dejavu-core fonts-liberation fonts-wqy-microhei
  xvfb xauth
  librsvg2-bin desktop-file-utils appstream dpkg-dev file
  zsh  # veltrane-ctl's zsh completion is tried in a real zsh
  clang libclang-rt-14-dev  # the fuzz targets: libFuzzer and the sanitizer runtimes
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
  "${missing[@]}"
