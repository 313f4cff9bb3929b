#!/usr/bin/env bash
# Checks that every C and C++ source of the project matches .clang-format;
# lists the files that do not. With --fix, rewrites them instead.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=(--dry-run --Werror)
[ "${1:-}" = --fix ] && mode=(-i)
mapfile -t sources < <(find src tests bench fuzz tools \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -type f | sort)
if ! clang-format "${mode[@]}" "${sources[@]}" 2>/dev/null; then
  for file in "${sources[@]}"; do
    clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || echo "not formatted: $file" >&2
  done
  echo "check_format.sh: run scripts/check_format.sh --fix" >&2
  exit 1
fi
