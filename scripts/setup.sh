#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests, the demo and the screenshots
# need, when any is missing. Quiet when everything is there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev libzip-dev zlib1g-dev libcurl4-openssl-dev libssl-dev
  googletest libgtest-dev libgmock-dev
  fonts-dejavu-core fonts-liberation xvfb xauth xdotool x11-utils nginx-light zip unzip curl time
  xdg-utils libqt6svg6 desktop-file-utils libglib2.0-bin
  minisign faketime
)
if [ "${RK5_SETUP_EXTRA:-}" = fuzz ]; then
  packages+=(clang)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}" >&2
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq >/dev/null
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
