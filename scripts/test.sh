#!/usr/bin/env bash
# Sets up, builds from scratch and runs every test: the default build, then the
# same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
for preset in default asan; do
  echo "== $preset"
  rm -rf "build/$preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
