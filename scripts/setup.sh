#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests, the demo and the screenshots
# need, when any is missing. Quiet when everything is there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev libzip-dev zlib1g-dev libisal-dev libcurl4-openssl-dev libssl-dev
  googletest libgtest-dev libgmock-dev
  fonts-dejavu-core fonts-liberation xvfb xauth xdotool x11-utils nginx-light zip unzip curl time
  xdg-utils libqt6svg6 desktop-file-utils libglib2.0-bin
  minisign faketime
)
if [ "${RK5_SETUP_EXTRA:-}" = fuzz ]; then
  packages+=(clang)
fi
if [ "${RK5_SETUP_EXTRA:-}" = package ]; then
  packages+=(dpkg-dev lintian appstream)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: ${#missing[@]} Debian packages are missing; on a fresh Debian 12 they bring about 230 with them (a few minutes)" >&2
"$(dirname "$0")/apt_install.sh" "${missing[@]}"
