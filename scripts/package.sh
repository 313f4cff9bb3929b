#!/usr/bin/env bash
# Builds the Debian package of Kelvane (Release, no tests) in build/package and
# prints the path of the .deb. Run as root on Debian 12; install the result with
#   apt install ./build/package/kelvane_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

# cpack's Debian generator computes Depends with dpkg-shlibdeps (dpkg-dev) and
# finds the programs to inspect with file.
scripts/setup.sh dpkg-dev file >&2

build=build/package
rm -f "$build"/kelvane_*.deb
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELVANE_TESTS=OFF >&2
cmake --build "$build" >&2
(cd "$build" && cpack >&2)
ls "$PWD/$build"/kelvane_*.deb
