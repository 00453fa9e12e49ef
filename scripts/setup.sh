#!/usr/bin/env bash
# Installs every Debian 12 package that building and testing Torvane needs, when it is missing.
set -euo pipefail

packages=(
  g++ clang libclang-rt-14-dev cmake ninja-build pkg-config git
  libsqlite3-dev sqlite3 libxml2-dev libplist-dev libplist-utils
  libimobiledevice-dev libimobiledevice-utils libusbmuxd-dev
  libssl-dev zlib1g-dev libicu-dev nlohmann-json3-dev libcurl4-openssl-dev
  qt6-base-dev libgl-dev libqt6svg6 qt6-translations-l10n xvfb xauth fonts-noto-color-emoji
  libgtest-dev libgmock-dev libbenchmark-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
