#!/usr/bin/env bash
# Installs what building and testing Kelvane needs on Debian 12 (run as root),
# and any further Debian packages named as arguments. Packages already present
# are not fetched again.
set -euo pipefail

packages=(cmake ninja-build g++ libgtest-dev libgmock-dev qt6-base-dev libbenchmark-dev libfuse3-dev clang-format)
# The end-to-end drag-and-drop test: a virtual X server and a scripted mouse.
packages+=(xvfb xdotool)
if [ "${KELVANE_WITH_FUZZ:-0}" = 1 ]; then packages+=(clang libclang-rt-14-dev); fi
packages+=("$@")

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
