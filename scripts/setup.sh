#!/usr/bin/env bash
# Installs every system package that building, running and testing StellixUp needs.
# Safe to run again; skips apt-get when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libfmt-dev libcli11-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev libjpeg62-turbo-dev
  xvfb xauth x11-utils x11-apps imagemagick
  fonts-dejavu-core fonts-liberation fonts-wine
  ckermit gkermit lrzsz
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages present"
  exit 0
fi

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "setup: installed ${missing[*]}"
