#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need.
# Idempotent: installs only what is missing, and updates the package lists once.
set -euo pipefail

packages=(
  build-essential cmake ninja-build git pkg-config
  rapidjson-dev googletest libgtest-dev libbenchmark-dev libstb-dev
  mingw-w64 g++-mingw-w64-x86-64-posix
  wine64 xvfb xdotool imagemagick x11-utils
  clang-19 libclang-rt-19-dev clang-format-19 clang-tidy-19 python3
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
