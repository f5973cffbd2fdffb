#!/usr/bin/env bash
# Fails when a C++ file of the tree differs from what .clang-format makes of
# it, or when any file still holds a merge's conflict markers;
# `scripts/check-format.sh --fix` rewrites the C++ files instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! clang-format --dry-run --Werror "${files[@]}"; then
  echo "format: differences from .clang-format (scripts/check-format.sh --fix rewrites them)" >&2
  exit 1
fi
echo "format: ${#files[@]} files as .clang-format has them"
# A merge left half done reads as two texts at once.
if git grep -n -E '^(<<<<<<<|>>>>>>>)( |$)' -- . ':!scripts/check-format.sh'; then
  echo "format: conflict markers left by a merge" >&2
  exit 1
fi
