#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running Quillrank need.
# Safe to run again: apt skips what is already installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang llvm libclang-rt-14-dev python3
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libcurl4-openssl-dev zlib1g-dev libssl-dev openssl ca-certificates libtomlplusplus-dev libcli11-dev
  libsqlite3-dev libsqlitecpp-dev sqlite3 libpq-dev postgresql libxlsxwriter-dev
  qt6-base-dev qt6-webengine-dev qt6-charts-dev qt6-translations-l10n libgl-dev
  fonts-arphic-uming
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
