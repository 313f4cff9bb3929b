#!/usr/bin/env bash
# Sets up, builds and runs Kelvane with the given arguments.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh >&2
cmake --preset default >/dev/null
cmake --build --preset default >/dev/null
exec build/default/src/kelvane "$@"
