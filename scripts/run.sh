#!/usr/bin/env bash
# Sets up, builds and runs Kelvane. Given paths, it sorts them (in the window
# where there is a display). Given nothing where there is no display, it shows
# the job on the built-in sample photos: it copies them into a fresh temporary
# folder, sorts that without a window and prints the log and the result.
set -euo pipefail
project=$(cd "$(dirname "$0")/.." && pwd)

"$project/scripts/setup.sh" >&2
(cd "$project" && cmake --preset default >/dev/null && cmake --build --preset default --target kelvane >&2)
kelvane="$project/build/default/src/kelvane"

if [ $# -gt 0 ] || [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
  exec "$kelvane" "$@"
fi

sample=$(mktemp -d "${TMPDIR:-/tmp}/kelvane-sample-XXXXXX")
cp "$project"/res/samples/*.jpg "$sample/"
echo "No display and no folder given: sorting the sample photos in $sample" >&2
echo >&2
"$kelvane" --no-window "$sample"
echo
echo "$sample now holds:"
(cd "$sample" && find . -mindepth 1 | sort | sed 's|^\./|  |')
