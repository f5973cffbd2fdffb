#!/usr/bin/env bash
# Installs what is missing, builds in Release and starts the server.
# Options go to the server: ./run.sh --help
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh run
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
cmake -S . -B build/release "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DQUIB_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --target quib-server >&2
exec build/release/quib-server "$@"
