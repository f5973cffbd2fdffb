#!/usr/bin/env bash
# Builds and runs every test; exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh test
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)

cmake -S . -B build/test "${generator[@]}" -DCMAKE_BUILD_TYPE=Debug
cmake --build build/test
ctest --test-dir build/test --output-on-failure --timeout 120
