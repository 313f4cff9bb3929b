#!/usr/bin/env bash
# The all-media benchmark: `kelvane --no-window --all-media` over a folder of
# mixed photos and videos (JPEG, PNG, WebP, HEIC, AVIF, TIFF, MP4, MOV, every
# JPEG with an XMP sidecar), against `kelvane --no-window` over a folder of as
# many JPEG files of the same size. Every file is one of the small files of
# tests/data grown to the size with zeros at its end, where no reader looks.
# Runs are warm (the folders are read through first) and alternate; each
# sorts a fresh hard-link copy. Prints the medians: wall time of each, their
# ratio, and bytes read a file in the all-media run.
#
# Usage: bench/all_media.sh [--files N] [--size MB] [--runs R]
#   defaults: 2,000 files of 5 MB, 5 runs
set -euo pipefail
shopt -s inherit_errexit
project=$(cd "$(dirname "$0")/.." && pwd)

files=2000
size=5
runs=5
while [ $# -gt 0 ]; do
  case "$1" in
    --files) files=$2; shift 2 ;;
    --size) size=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    *) echo "all_media.sh: unknown option $1" >&2; exit 2 ;;
  esac
done

build=${KELVANE_BENCH_BUILD:-$project/build/bench}
"$project/scripts/setup.sh" >&2
cmake -S "$project" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELVANE_BENCH=ON -DKELVANE_TESTS=OFF >/dev/null
cmake --build "$build" --target kelvane kelvane_measure >&2
kelvane=$build/src/kelvane
measure=$build/bench/kelvane_measure

work=${KELVANE_BENCH_DIR:-/tmp/kelvane-bench}/all-media-${files}x${size}MB
rm -rf "$work"
mkdir -p "$work/mixed" "$work/jpeg" "$work/runs"
export XDG_STATE_HOME=$work/state  # the runs' journals, not the user's

data=$project/tests/data
kinds=(mei-fujifilm-finepix1400zoom-1.jpg media/photo.png media/photo.webp media/photo.heic media/photo.avif
  media/photo.tif media/clip.mp4 media/clip.mov)
for ((i = 0; i < files; ++i)); do
  source=${kinds[i % ${#kinds[@]}]}
  name=$(printf 'F%05d.%s' "$i" "${source##*.}")
  cp "$data/$source" "$work/mixed/$name"
  truncate -s "${size}M" "$work/mixed/$name"
  if [ "${source##*.}" = jpg ]; then echo '<x:xmpmeta/>' >"$work/mixed/${name%.*}.xmp"; fi
  cp "$data/${kinds[0]}" "$work/jpeg/$name.jpg"
  truncate -s "${size}M" "$work/jpeg/$name.jpg"
done

# One measured run over a fresh copy: "wall_s rchar".
run() {
  local folder=$1
  shift
  rm -rf "$work/runs/copy"
  cp -al "$work/$folder" "$work/runs/copy"
  cat "$work/runs/copy"/* >/dev/null
  "$measure" -- "$kelvane" --no-window "$@" "$work/runs/copy" |
    awk '{ for (i = 1; i <= NF; ++i) { split($i, kv, "="); v[kv[1]] = kv[2] } print v["wall_s"], v["rchar"] }'
}

: >"$work/results"
for ((r = 0; r < runs; ++r)); do
  echo "mixed $(run mixed --all-media)" >>"$work/results"
  echo "jpeg $(run jpeg)" >>"$work/results"
done
sorted_median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
mixed=$(awk '$1 == "mixed" { print $2 }' "$work/results" | sorted_median)
jpeg=$(awk '$1 == "jpeg" { print $2 }' "$work/results" | sorted_median)
read_bytes=$(awk '$1 == "mixed" { print $3 }' "$work/results" | sorted_median)
printf 'files: %d of %d MB (+ %d sidecars), %d runs\n' "$files" "$size" "$(ls "$work/mixed"/*.xmp | wc -l)" "$runs"
awk -v m="$mixed" -v j="$jpeg" -v read="$read_bytes" -v n="$files" 'BEGIN {
  printf "all media: %.3f s   JPEG only: %.3f s   ratio: %.2f\n", m, j, m / j
  printf "read by the all-media run: %.1f KiB a photo or video\n", read / n / 1024 }'
rm -rf "$work"
