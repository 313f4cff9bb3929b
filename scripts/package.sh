#!/usr/bin/env bash
# Builds the Debian package of Kelvane (Release, no tests) in build/package and
# prints the path of the .deb. Run as root on Debian 12; install the result with
#   apt install ./build/package/kelvane_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh >&2
# cpack's Debian generator computes Depends with dpkg-shlibdeps (dpkg-dev) and
# finds the programs to inspect with file.
missing=()
for package in dpkg-dev file; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi

build=build/package
rm -f "$build"/kelvane_*.deb
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELVANE_TESTS=OFF >&2
cmake --build "$build" >&2
(cd "$build" && cpack >&2)
ls "$PWD/$build"/kelvane_*.deb
