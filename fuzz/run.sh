#!/usr/bin/env bash
# Builds the fuzz targets and runs each for a while, seeded with the crafted
# files of kelvane_fuzz_seeds, the photos of tests/data and, when it is
# beside the checkout, the shared photo corpus. Ends with one line a target:
# inputs run, seconds, inputs a second, edges covered, corpus size.
#
# Usage: fuzz/run.sh [--seconds S] [--jobs N] [TARGET...]
#   TARGET      load, path_list, date_folder, sort_run (default: all four)
#   --seconds S each target's running time (default 60)
#   --jobs N    N fuzzing processes a target, side by side (default 1)
#
# Each target keeps the inputs it grew in $KELVANE_FUZZ_DIR/TARGET/corpus
# (default /tmp/kelvane-fuzz), never in the repository, so that a later run
# goes on from there; findings go to $KELVANE_FUZZ_DIR/TARGET/artifacts, and
# each process's log to $KELVANE_FUZZ_DIR/TARGET/run-N.log.
# Delete the folder to start afresh: this script writes the seeds again.
set -euo pipefail
shopt -s inherit_errexit
project=$(cd "$(dirname "$0")/.." && pwd)

seconds=60
jobs=1
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    load | path_list | date_folder | sort_run) targets+=("$1"); shift ;;
    *) echo "fuzz/run.sh: unknown argument: $1" >&2; exit 2 ;;
  esac
done
[ ${#targets[@]} -gt 0 ] || targets=(load path_list date_folder sort_run)
work=${KELVANE_FUZZ_DIR:-/tmp/kelvane-fuzz}
# ASan fills the first 4 KiB of every allocation; that took a tenth of the
# load target's time and finds nothing ASan would not.
export ASAN_OPTIONS=${ASAN_OPTIONS:-max_malloc_fill_size=0}

cd "$project"
KELVANE_WITH_FUZZ=1 scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

photos=(tests/data/*.jpg tests/data/media/photo.* tests/data/media/clip.*)
shared=${KELVANE_SHARED_DIR:-$project/../shared}/corpus
if [ -d "$shared" ]; then photos+=("$shared"/*.jpg); fi
build/fuzz/fuzz/kelvane_fuzz_seeds "$work/seeds" "${photos[@]}" >/dev/null

# Runs one fuzzing process of a target; its log is LOG.
fuzz_process() {
  local target=$1 log=$2
  # 64 KiB holds a whole Exif segment (its length is 16 bits); larger seeds
  # are cut to it. No input may keep a target busy for seconds. A process
  # alone need not look for what others added to the corpus: rereading it
  # took a sixth of its time.
  build/fuzz/fuzz/kelvane_${target}_fuzzer -max_total_time="$seconds" -max_len=65536 -timeout=10 \
    -reload=$((jobs > 1 ? 1 : 0)) -print_final_stats=1 -artifact_prefix="$work/$target/artifacts/" \
    "$work/$target/corpus" "$work/seeds/$target" >"$log" 2>&1
}

summary=()
for target in "${targets[@]}"; do
  mkdir -p "$work/$target/corpus" "$work/$target/artifacts"
  # The processes share the corpus folder: each takes up what the others add.
  rm -f "$work/$target"/run-*.log
  pids=()
  for ((job = 1; job <= jobs; ++job)); do
    fuzz_process "$target" "$work/$target/run-$job.log" &
    pids+=($!)
  done
  failed=0
  for ((job = 1; job <= jobs; ++job)); do
    if ! wait "${pids[job - 1]}"; then
      tail -n 40 "$work/$target/run-$job.log" >&2
      failed=1
    fi
  done
  if [ "$failed" -ne 0 ]; then
    echo "fuzz/run.sh: $target found a fault: see $work/$target/run-*.log and $work/$target/artifacts" >&2
    exit 1
  fi
  # Each log's last status line ("#INPUTS ... cov: C ... corp: N/SIZE ...")
  # has its figures; inputs add up over the processes.
  summary+=("$(awk -v target="$target" -v seconds="$seconds" '
    FNR == 1 { runs += last; last = 0 }
    /^#[0-9]+/ {
      last = $1; gsub(/#/, "", last)
      for (i = 1; i < NF; ++i) {
        if ($i == "cov:" && $(i + 1) > cov) cov = $(i + 1)
        if ($i == "corp:") corp = $(i + 1)
      }
    }
    END { runs += last; printf "%-12s %10d inputs  %5s s  %6d inputs/s  cov %s  corpus %s\n", target, runs, seconds, runs / seconds, cov, corp }
  ' "$work/$target"/run-*.log)")
done
printf '%s\n' "${summary[@]}"
