#!/usr/bin/env bash
# Installs what is missing, builds in Release and starts the server.
# Options go to the server: ./run.sh --help
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh run
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target quib-server >&2
exec build/release/quib-server "$@"
