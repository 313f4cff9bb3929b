#!/usr/bin/env bash
# The sort benchmark: one sort run over a folder of camera photos, by Kelvane
# (`kelvane --no-window`), by the floor (bench/floor.c: only the job's
# irreducible work) and, with --with-peers, by exiftool and jhead from Debian.
#
# It makes a photo folder once (cached under $KELVANE_BENCH_DIR, default
# /tmp/kelvane-bench, for the same number and size of files), then for every
# run of every tool sorts a fresh hard-link copy of it (copying and checking
# are not timed) with a warm page cache (the copy is read through before each
# run, not timed), after one warm-up run of each tool.
# Every run is checked: each dated photo must end up in its date folder.
#
# Usage: bench/run.sh [--quick | --files N --size MB | --size-kb KB] [--runs R]
#                     [--with-peers] [--only TOOL[,TOOL...]] [--startup-runs K]
#                     [--rss-flat | --scale [--scale-counts LIST]]
#                     [--cold | --slow [--delay-us US]] [--floor-first-read BYTES]
#   --quick          200 photos of 1 MB (default: 2,000 of 5 MB, smaller when
#                    the disk or the memory cannot hold them)
#   --runs R         timed runs of each tool (default 5)
#   --with-peers     also exiftool and jhead (installed with apt-get if missing)
#   --only LIST      kelvane, exiftool, jhead (the floor always runs: the
#                    ratios are to it)
#   --startup-runs K runs of each program on an empty folder (default 20)
#   --size-kb KB     photos of KB kilobytes (at least 20: the photos behind
#                    the corpus are cut to it, their Exif blocks whole)
#   --rss-flat       instead: peak RSS of kelvane and the floor on photos of
#                    1 MB and of 50 MB (--files, default 50)
#   --scale          instead: files a second and peak RSS of kelvane and the
#                    floor, warm and cold, over folders of 200, 2,000, 20,000
#                    and 200,000 photos (--scale-counts "N..."), of 20 KB
#                    unless --size or --size-kb says otherwise
#   --cold           every run starts cold: the photos' pages are dropped from
#                    the page cache (posix_fadvise DONTNEED, then checked page
#                    by page with mincore) instead of read through
#   --slow           cold, on a slow device: the runs' folder is seen through
#                    bench/slow_fs.c, a FUSE file system that answers every
#                    read after --delay-us microseconds (default 2000)
#   --floor-first-read BYTES  the floor's first read of a file (default 4096
#                    with --cold or --slow, the tightest sequential floor
#                    there; else 65536)
set -euo pipefail
shopt -s inherit_errexit  # a failure inside $(...) stops the script too, at its first message
project=$(cd "$(dirname "$0")/.." && pwd)

files=2000
size=5
runs=5
startup_runs=20
with_peers=0
only=""
rss_flat=0
files_given=0
cache=warm
delay_us=2000
floor_first_read=""
size_kb=""
size_given=0
scale=0
scale_counts="200 2000 20000 200000"
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) files=200; size=1; files_given=1 ;;
    --files) files=$2; files_given=1; shift ;;
    --size) size=$2; size_given=1; shift ;;
    --size-kb) size_kb=$2; shift ;;
    --scale) scale=1 ;;
    --scale-counts) scale_counts=$2; shift ;;
    --runs) runs=$2; shift ;;
    --startup-runs) startup_runs=$2; shift ;;
    --with-peers) with_peers=1 ;;
    --only) only=$2; shift ;;
    --rss-flat) rss_flat=1 ;;
    --cold) cache=cold ;;
    --slow) cache=slow ;;
    --delay-us) delay_us=$2; shift ;;
    --floor-first-read) floor_first_read=$2; shift ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done
if [ -z "$floor_first_read" ]; then
  if [ "$cache" = warm ] && [ "$scale" = 0 ]; then floor_first_read=65536; else floor_first_read=4096; fi
fi
if [ -z "$size_kb" ]; then
  if [ "$scale" = 1 ] && [ "$size_given" = 0 ]; then size_kb=20; else size_kb=$((size * 1024)); fi
fi
for number in "$files" "$size" "$size_kb" "$runs" "$startup_runs" "$delay_us" "$floor_first_read" $scale_counts; do
  [[ "$number" =~ ^[1-9][0-9]*$ ]] || { echo "run.sh: $number is not a positive whole number" >&2; exit 2; }
done

# ---------------------------------------------------------------- programs
build=${KELVANE_BENCH_BUILD:-$project/build/bench}
"$project/scripts/setup.sh" >&2
cmake -S "$project" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELVANE_BENCH=ON -DKELVANE_TESTS=OFF >/dev/null
cmake --build "$build" --target kelvane kelvane_floor kelvane_measure kelvane_evict kelvane_make_corpus >&2
kelvane=$build/src/kelvane
floor=$build/bench/kelvane_floor
measure=$build/bench/kelvane_measure
evict=$build/bench/kelvane_evict
make_corpus=$build/bench/kelvane_make_corpus
slow_fs=$build/bench/kelvane_slow_fs
if [ "$cache" = slow ]; then
  "$project/scripts/setup.sh" fuse3 >&2
  cmake --build "$build" --target kelvane_slow_fs >&2
fi
photo=$project/tests/data/mei-fujifilm-finepix1400zoom-1.jpg # little-endian
photo_be=$project/tests/data/mei-fujifilm-finepix40i.jpg      # big-endian, every 4th dated photo

tools=(floor kelvane)
if [ "$with_peers" = 1 ]; then
  "$project/scripts/setup.sh" libimage-exiftool-perl jhead >&2
  tools+=(jhead exiftool)
fi
if [ -n "$only" ]; then
  chosen=(floor)
  IFS=, read -r -a wanted <<<"$only"
  for tool in "${wanted[@]}"; do
    case "$tool" in
      floor) ;;
      kelvane|jhead|exiftool) chosen+=("$tool") ;;
      *) echo "run.sh: unknown tool $tool" >&2; exit 2 ;;
    esac
  done
  tools=("${chosen[@]}")
fi
for tool in "${tools[@]}"; do
  case "$tool" in jhead|exiftool) command -v "$tool" >/dev/null || { echo "run.sh: $tool is not installed (use --with-peers)" >&2; exit 2; } ;; esac
done

bench_dir=${KELVANE_BENCH_DIR:-/tmp/kelvane-bench}
mkdir -p "$bench_dir"
runs_dir=$bench_dir/runs
export XDG_STATE_HOME=$runs_dir/state  # Kelvane's run journals, not the user's
slow_mount=$bench_dir/slow-mount
if mountpoint -q "$slow_mount" 2>/dev/null; then fusermount3 -u "$slow_mount"; fi
rm -rf "$runs_dir"
mkdir -p "$runs_dir"

# The tools see the runs' folder through the slow device, or as it is.
tools_dir=$runs_dir
if [ "$cache" = slow ]; then
  mkdir -p "$slow_mount"
  "$slow_fs" --delay-us "$delay_us" "$runs_dir" "$slow_mount" &
  trap 'fusermount3 -u "$slow_mount" 2>/dev/null || true' EXIT
  for _ in $(seq 50); do mountpoint -q "$slow_mount" && break; sleep 0.1; done
  mountpoint -q "$slow_mount" || { echo "run.sh: the slow device did not mount at $slow_mount" >&2; exit 1; }
  tools_dir=$slow_mount
fi

# ------------------------------------------------------------------ corpus
# $1 files of $2 KB.
corpus_name() {
  if (( $2 % 1024 == 0 )); then echo "$bench_dir/corpus-v2-${1}x$(( $2 / 1024 ))MB"; else echo "$bench_dir/corpus-v2-${1}x${2}KB"; fi
}

size_text() { if (( $1 % 1048576 == 0 )); then echo "$(( $1 / 1048576 )) MB"; else echo "$(( $1 / 1024 )) KB"; fi; }

free_bytes() { df --output=avail -B1 "$bench_dir" | tail -1 | tr -d ' '; }

# Makes (or reuses) a corpus of $1 files of $2 KB and prints its folder. When
# the disk, or the memory that must keep it all in the page cache, is short,
# other cached corpora go first, then the photos get smaller.
ensure_corpus() {
  local count=$1 kb=$2 folder
  folder=$(corpus_name "$count" "$kb")
  if [ -f "$folder/complete" ]; then echo "$folder"; return; fi
  local memory need limit
  memory=$(awk '/^MemTotal:/ { printf "%.0f\n", $2 * 1024 }' /proc/meminfo)
  need=$(( count * kb * 1024 + 256 * 1048576 ))
  limit=$(( $(free_bytes) < memory * 6 / 10 ? $(free_bytes) : memory * 6 / 10 ))
  if [ "$need" -gt "$limit" ] && compgen -G "$bench_dir/corpus-*" >/dev/null; then
    echo "Removing other cached corpora to make room: $(cd "$bench_dir" && echo corpus-*)" >&2
    rm -rf "$bench_dir"/corpus-*
    limit=$(( $(free_bytes) < memory * 6 / 10 ? $(free_bytes) : memory * 6 / 10 ))
  fi
  if [ "$need" -gt "$limit" ]; then
    local smaller=$(( (limit - 256 * 1048576) / count / 1048576 ))
    if [ "$smaller" -lt 1 ]; then
      echo "run.sh: no room for $count photos of 1 MB in $bench_dir (set KELVANE_BENCH_DIR or use --files)" >&2
      exit 1
    fi
    echo "Not enough room for $count photos of $(size_text $(( kb * 1024 ))) ($(( need / 1048576 )) MB; free disk $(( $(free_bytes) / 1048576 )) MB, 60 % of memory $(( memory * 6 / 10 / 1048576 )) MB): using $smaller MB photos instead." >&2
    kb=$(( smaller * 1024 ))
    folder=$(corpus_name "$count" "$kb")
    if [ -f "$folder/complete" ]; then echo "$folder"; return; fi
  fi
  rm -rf "$folder" "$folder.partial"
  echo "Making $count photos of $(size_text $(( kb * 1024 ))) in $folder ..." >&2
  "$make_corpus" --photo "$photo" --photo-be "$photo_be" --files "$count" --size-kb "$kb" --out "$folder.partial" >&2
  mv "$folder.partial" "$folder"
  # The contents' fingerprint: a tool that wrote into a photo would change
  # every hard-linked copy, the cached corpus too.
  fingerprint "$folder" >"$folder/fingerprint"
  touch "$folder/complete"
  echo "$folder"
}

fingerprint() { (cd "$1/photos" && find . -type f -printf '%P %s %T@\n' | sort | md5sum | cut -d' ' -f1); }

count_of() { awk -v key="$2" '$1 == key { print $2 }' "$1/counts.txt"; }

# -------------------------------------------------------------- one run
# run_tool TOOL CORPUS LABEL: sorts a fresh copy with TOOL, checks the result
# and appends "TOOL LABEL wall user sys maxrss_kb rchar read_bytes" to
# $runs_dir/results.
run_tool() {
  local tool=$1 corpus=$2 label=$3
  local copy=$runs_dir/$tool-$label/photos
  rm -rf "$runs_dir/$tool-$label"
  mkdir -p "$runs_dir/$tool-$label"
  cp -al "$corpus/photos" "$copy"
  local seen=$tools_dir/$tool-$label/photos  # the same folder, as the tool sees it
  if [ "$cache" = warm ]; then
    # This machine's page cache lets go of clean pages by itself now and then,
    # and jhead's run reads every byte: read the photos once more (not timed),
    # so that each run starts warm. "disk MB" shows whatever was still missing.
    find "$copy" -maxdepth 1 -type f -exec cat {} + >/dev/null
    sync -f "$copy" 2>/dev/null || true
  else
    # The copy and the last run's removal leave metadata to write back; done
    # now, it is not timed with the run.
    sync -f "$copy" 2>/dev/null || true
    "$evict" "$seen" >/dev/null || { echo "run.sh: the photos' pages stayed in the page cache" >&2; exit 1; }
  fi
  local out=$runs_dir/$tool-$label.out err=$runs_dir/$tool-$label.err line
  case "$tool" in
    kelvane) line=$("$measure" -o "$out" -e "$err" -- "$kelvane" --no-window "$seen") ;;
    floor) line=$("$measure" -o "$out" -e "$err" -- "$floor" --first-read "$floor_first_read" "$seen") ;;
    exiftool) line=$("$measure" -o "$out" -e "$err" -- \
                       exiftool -q -q '-Directory<DateTimeOriginal' -d '%%d/%Y-%m-%d' "$seen") ;;
    jhead) line=$("$measure" -C "$seen" -o "$out" -e "$err" -- sh -c 'exec jhead -n%Y-%m-%d/%f *.jpg') ;;
  esac
  check_run "$tool" "$corpus" "$copy" "$line" "$out" "$err"
  echo "$tool $label $line" | awk '{
      for (i = 3; i <= NF; ++i) { split($i, kv, "="); v[kv[1]] = kv[2] }
      print $1, $2, v["wall_s"], v["user_s"], v["sys_s"], v["maxrss_kb"], v["rchar"], v["read_bytes"] }' >>"$runs_dir/results"
  rm -rf "$runs_dir/$tool-$label"
}

check_run() {
  local tool=$1 corpus=$2 copy=$3 line=$4 out=$5 err=$6
  local status placed total expected
  status=$(sed -n 's/.*status=\([0-9]*\).*/\1/p' <<<"$line")
  if [ "$status" != 0 ]; then
    echo "run.sh: $tool exited with status $status; its errors:" >&2
    head -20 "$err" >&2
    exit 1
  fi
  placed=$runs_dir/placed
  (cd "$copy" && find . -mindepth 2 -type f -printf '%P\n' | sort) >"$placed"
  total=$(( $(wc -l <"$placed") + $(find "$copy" -maxdepth 1 -type f | wc -l) ))
  if [ "$total" != "$(count_of "$corpus" files)" ]; then
    echo "run.sh: $tool left $total files of $(count_of "$corpus" files)" >&2
    exit 1
  fi
  case "$tool" in
    jhead)
      # jhead moves photos without a date too, into the folder of the file's
      # time; the dated ones must be where they belong.
      expected=$(count_of "$corpus" jpeg)
      if [ "$(wc -l <"$placed")" != "$expected" ] || [ -n "$(comm -23 "$corpus/expected.txt" "$placed")" ]; then
        echo "run.sh: jhead did not sort as expected; compare $placed with $corpus/expected.txt" >&2
        exit 1
      fi ;;
    *)
      if ! cmp -s "$placed" "$corpus/expected.txt"; then
        echo "run.sh: $tool did not sort as expected:" >&2
        diff "$corpus/expected.txt" "$placed" | head -10 >&2
        exit 1
      fi ;;
  esac
  # Kelvane and the floor print the same log, but for the banner and folder.
  if [ "$tool" = floor ]; then log_body "$out" >"$runs_dir/floor.log"; fi
  if [ "$tool" = kelvane ] && [ -f "$runs_dir/floor.log" ] && ! cmp -s <(log_body "$out") "$runs_dir/floor.log"; then
    echo "run.sh: kelvane's log differs from the floor's:" >&2
    diff <(log_body "$out") "$runs_dir/floor.log" | head -10 >&2
    exit 1
  fi
}

log_body() { tail -n +2 "$1" | sed 's|^Input Directory: .*|Input Directory|'; }

# --------------------------------------------------------------- reports
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# The table of $runs_dir/results for the rounds (not the warm-up).
report() {
  local count=$1 results=$runs_dir/results
  local floor_wall floor_cpu floor_read
  floor_wall=$(awk '$1 == "floor" && $2 != "warmup" { print $3 }' "$results" | median)
  floor_cpu=$(awk '$1 == "floor" && $2 != "warmup" { print $4 + $5 }' "$results" | median)
  floor_read=$(awk '$1 == "floor" && $2 != "warmup" { print $7 }' "$results" | median)
  printf '%-9s %9s %25s %7s %7s %8s %8s %7s %7s %7s\n' tool photos/s "wall s median [min-max]" "CPU s" "RSS MB" \
    "MB read" "disk MB" "wall/fl" "cpu/fl" "read/fl"
  for tool in "${tools[@]}"; do
    local wall cpu read
    wall=$(awk -v t="$tool" '$1 == t && $2 != "warmup" { print $3 }' "$results" | median)
    cpu=$(awk -v t="$tool" '$1 == t && $2 != "warmup" { print $4 + $5 }' "$results" | median)
    read=$(awk -v t="$tool" '$1 == t && $2 != "warmup" { print $7 }' "$results" | median)
    awk -v t="$tool" -v n="$count" -v wall="$wall" -v cpu="$cpu" -v read="$read" -v fw="$floor_wall" -v fc="$floor_cpu" -v fr="$floor_read" '
      $1 == t && $2 != "warmup" {
        if (min == "" || $3 < min) min = $3; if ($3 > max) max = $3; if ($6 > rss) rss = $6; if ($8 > disk) disk = $8 }
      END {
        printf "%-9s %9.0f %9.3f [%6.3f-%6.3f] %7.3f %7.1f %8.1f %8.1f %7.2f %7.2f %7.2f\n",
               t, n / wall, wall, min, max, cpu, rss / 1024, read / 1048576, disk / 1048576, wall / fw, cpu / fc, read / fr }' "$results"
  done
}

startup() {
  local empty=$runs_dir/empty tool k
  mkdir -p "$empty"
  : >"$runs_dir/startup"
  for tool in kelvane floor; do
    for k in $(seq -2 "$startup_runs"); do
      local line
      if [ "$tool" = kelvane ]; then
        line=$("$measure" -- "$kelvane" --no-window "$empty")
      else
        line=$("$measure" -- "$floor" "$empty")
      fi
      [ "$k" -ge 1 ] && echo "$tool $line" >>"$runs_dir/startup"
    done
  done
  for tool in kelvane floor; do
    local values cpu
    values=$(awk -v t="$tool" '$1 == t { sub("wall_s=", "", $2); print $2 * 1000 }' "$runs_dir/startup")
    cpu=$(awk -v t="$tool" '$1 == t { sub("user_s=", "", $3); sub("sys_s=", "", $4); print ($3 + $4) * 1000 }' "$runs_dir/startup")
    printf 'start-up on an empty folder, %-8s median %6.2f ms (min %.2f, max %.2f, %d runs), CPU %.1f ms; peak RSS %.1f MB\n' \
      "$tool" "$(median <<<"$values")" "$(sort -g <<<"$values" | head -1)" "$(sort -g <<<"$values" | tail -1)" \
      "$startup_runs" "$(median <<<"$cpu")" \
      "$(awk -v t="$tool" '$1 == t { sub("maxrss_kb=", "", $5); if ($5 > m) m = $5 } END { print m / 1024 }' "$runs_dir/startup")"
  done
}

load_average() { cut -d' ' -f1-3 /proc/loadavg; }

# Kelvane against its targets, from the rounds and the start-up runs.
targets() {
  local results=$runs_dir/results
  local wall_target
  case "$cache" in warm) wall_target=1.0 ;; cold) wall_target=0.35 ;; slow) wall_target=0.15 ;; esac
  awk -v startup="$(awk '$1 == "kelvane" { sub("wall_s=", "", $2); print $2 * 1000 }' "$runs_dir/startup" | median)" \
    -v cache="$cache" -v wall_target="$wall_target" '
    $2 == "warmup" { next }
    { wall[$1] = wall[$1] " " $3; read[$1] = read[$1] " " $7; if ($1 == "kelvane" && $6 > rss) rss = $6 }
    function med(list,   v, n, i, j, t) {
      n = split(list, v, " ")
      for (i = 2; i <= n; ++i) for (j = i; j > 1 && v[j - 1] + 0 > v[j] + 0; --j) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
      return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
    }
    function verdict(ok) { return ok ? "met" : "NOT MET" }
    END {
      w = med(wall["kelvane"]) / med(wall["floor"]); r = med(read["kelvane"]) / med(read["floor"])
      printf "kelvane targets: wall %.2f x floor (<= %s: %s), ", w, wall_target, verdict(w <= wall_target)
      # Cold, the read-ahead reads a page twice (once from the device); what
      # counts there is the wall time.
      if (cache == "warm") printf "bytes read %.2f x floor (<= 1.25: %s), ", r, verdict(r <= 1.25)
      printf "peak RSS %.1f MB (<= 8: %s), start-up %.1f ms (< 20: %s)\n",
             rss / 1024, verdict(rss <= 8 * 1024), startup, verdict(startup < 20)
    }' "$results"
}

cache_drops() { awk '$1 == "drop_pagecache" { print $2 }' /proc/vmstat; }
drops_before=$(cache_drops)

echo "Kelvane sort benchmark: $(nproc) cores, load average $(load_average), kelvane $("$kelvane" --version)"
[ "$scale" = 1 ] && echo "Scale: photos of $(size_text $(( size_kb * 1024 ))) in folders of $scale_counts, warm and cold"
[ "$scale" = 1 ] || case "$cache" in
  warm) echo "Page cache: warm (the photos read through before each run); the floor's first read: $floor_first_read bytes" ;;
  cold) echo "Page cache: cold (the photos' pages dropped and checked out before each run); the floor's first read: $floor_first_read bytes" ;;
  slow) echo "Slow device: FUSE, $delay_us us a read, pages dropped before each run; the floor's first read: $floor_first_read bytes" ;;
esac
if awk '{ exit !($1 > 0.5) }' /proc/loadavg; then
  echo "Note: the machine is busy (load average above 0.5): wall times are slower and vary more than on an idle one; compare CPU times too."
fi

# ------------------------------------------------------------ rss-flat mode
if [ "$rss_flat" = 1 ]; then
  [ "$files_given" = 1 ] || files=50
  tools=(floor kelvane)
  : >"$runs_dir/results"
  small=$(ensure_corpus "$files" 1024)
  large=$(ensure_corpus "$files" 51200)
  for corpus in "$small" "$large"; do
    run_tool floor "$corpus" warmup
    run_tool kelvane "$corpus" warmup
    for r in $(seq 1 "$runs"); do
      for tool in floor kelvane; do run_tool "$tool" "$corpus" "$(basename "$corpus")-$r"; done
    done
  done
  echo
  echo "Peak RSS (largest of $runs runs) on $files photos:"
  for tool in floor kelvane; do
    awk -v t="$tool" -v a="$(basename "$small")" -v b="$(basename "$large")" '
      $1 == t && index($2, a) == 1 { if ($6 > s) s = $6 }
      $1 == t && index($2, b) == 1 { if ($6 > l) l = $6 }
      END {
        d = (l - s) / 1024; if (d < 0) d = -d
        printf "%-8s %s: %.2f MB   %s: %.2f MB   difference %.2f MB", t, a, s / 1024, b, l / 1024, (l - s) / 1024
        if (t == "kelvane") printf "   (target: <= 24 MB and within 2 MB: %s)", (d <= 2 && s <= 24 * 1024 && l <= 24 * 1024) ? "met" : "NOT MET"
        printf "\n" }' \
      "$runs_dir/results"
  done
  rm -rf "$runs_dir"
  exit 0
fi

# -------------------------------------------------------------- scale mode
if [ "$scale" = 1 ]; then
  tools=(floor kelvane)
  : >"$runs_dir/results"
  for count in $scale_counts; do
    corpus=$(ensure_corpus "$count" "$size_kb")
    for cache in warm cold; do
      for r in $(seq 1 "$runs"); do
        for tool in floor kelvane; do run_tool "$tool" "$corpus" "$count-$cache-$r"; done
      done
    done
  done
  echo
  echo "Photos of $(size_text $(( size_kb * 1024 ))), $runs runs each (the floor's first read: $floor_first_read bytes):"
  printf '%-8s %-5s %-8s %10s %12s %10s %8s\n' photos cache tool photos/s "wall s med" "us/photo" "RSS MB"
  for count in $scale_counts; do
    for cache in warm cold; do
      for tool in floor kelvane; do
        awk -v t="$tool" -v key="$count-$cache-" -v n="$count" -v c="$cache" '
          $1 == t && index($2, key) == 1 { wall[++k] = $3; if ($6 > rss) rss = $6 }
          END {
            for (i = 2; i <= k; ++i) for (j = i; j > 1 && wall[j - 1] > wall[j]; --j) { x = wall[j]; wall[j] = wall[j - 1]; wall[j - 1] = x }
            m = k % 2 ? wall[(k + 1) / 2] : (wall[k / 2] + wall[k / 2 + 1]) / 2
            printf "%-8d %-5s %-8s %10.0f %12.3f %10.1f %8.1f\n", n, c, t, n / m, m, m * 1e6 / n, rss / 1024 }' \
          "$runs_dir/results"
      done
    done
  done
  rm -rf "$runs_dir"
  exit 0
fi

# -------------------------------------------------------------- the rounds
corpus=$(ensure_corpus "$files" "$size_kb")
count=$(count_of "$corpus" files)
bytes_each=$(count_of "$corpus" bytes_each)
if [ "$(find "$corpus/photos" -maxdepth 1 -type f | wc -l)" != "$count" ]; then
  echo "run.sh: the cached corpus $corpus is damaged; delete it and run again" >&2
  exit 1
fi
echo "Corpus: $corpus: $count files of $(size_text "$bytes_each") ($(count_of "$corpus" dated) dated, $(count_of "$corpus" not_jpeg) not JPEG, $(count_of "$corpus" no_exif) JPEG without Exif, $(count_of "$corpus" no_date) JPEG without date)"
echo "Tools: ${tools[*]}; one warm-up run each, then $runs rounds (each tool once a round)"
: >"$runs_dir/results"
for tool in "${tools[@]}"; do run_tool "$tool" "$corpus" warmup; done
for r in $(seq 1 "$runs"); do
  for tool in "${tools[@]}"; do run_tool "$tool" "$corpus" "$r"; done
done
if [ "$(fingerprint "$corpus")" != "$(cat "$corpus/fingerprint")" ]; then
  echo "run.sh: a tool changed the photos of the cached corpus: it is deleted; the numbers above are suspect" >&2
  rm -rf "$corpus"
  exit 1
fi

echo
report "$count"
echo "(photos/s: all $count files over the median wall time; CPU: user + system, median; RSS: largest peak of the runs;"
echo " MB read: rchar, median; disk MB: read_bytes, the most of any run (0 with a warm page cache);"
echo " wall/fl, cpu/fl, read/fl: the medians over the floor's in this run)"
echo
startup
if [[ " ${tools[*]} " == *" kelvane "* ]]; then targets; fi
echo "load average at the end: $(load_average)"
if [ "$(cache_drops)" != "$drops_before" ]; then
  echo "Note: something dropped the page cache during the benchmark; runs with disk MB above 0 read from the disk."
fi
rm -rf "$runs_dir"
