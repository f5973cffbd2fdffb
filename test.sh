#!/usr/bin/env bash
# Builds and runs every test; exits non-zero on any failure.
#   ./test.sh          every stage
#   ./test.sh quick    the Debug build and its tests only, for the edit-compile-test loop
set -euo pipefail
cd "$(dirname "$0")"

# Each stage builds with a preset of CMakePresets.json (build/PRESET), as many
# jobs at once as the machine has cores.
scripts/install-deps.sh test
jobs=$(nproc)

cmake --preset test
cmake --build --preset test -j "$jobs"
ctest --preset test
[ "${1:-}" = quick ] && exit 0

# The static checks: the format of every C++ file, and clang-tidy over the core.
echo "== static checks: clang-format and clang-tidy"
scripts/check-format.sh
scripts/tidy.sh build/test

# The same tests with AddressSanitizer and UndefinedBehaviorSanitizer, the
# server they start included. No window: it adds build time and no core code.
echo "== sanitizers: AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset sanitize
cmake --build --preset sanitize -j "$jobs"
ctest --preset sanitize

# Each fuzz target for a bounded time, after replaying its regression inputs.
echo "== fuzzing"
scripts/fuzz.sh "${QUIB_FUZZ_SECONDS:-60}"

# The whole road with the server itself under valgrind: no memory error and
# no definite leak. The wrapper's exit code reaches the test through the
# server's; the logs are checked as well, so that a memcheck that never ran
# cannot pass.
echo "== valgrind: the end-to-end road"
rm -rf build/valgrind
mkdir -p build/valgrind
QUIB_SERVER_WRAPPER="valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite --show-leak-kinds=definite --log-file=build/valgrind/server.%p.log" \
  build/test/tests/quib_process_tests --gtest_filter='EndToEndRoad.*'
logs=(build/valgrind/server.*.log)
[ -e "${logs[0]}" ] || { echo "valgrind left no log" >&2; exit 1; }
for log in "${logs[@]}"; do
  if ! grep -q "ERROR SUMMARY: 0 errors" "$log"; then
    cat "$log" >&2
    exit 1
  fi
done
echo "valgrind: ${#logs[@]} server run(s), no errors"

# The benchmarks, briefly: they must still build and run. The figures come
# from scripts/bench.sh on a quiet machine (docs/performance.md).
echo "== benchmarks: a short run"
scripts/bench.sh --check

# The Debian packages, built and checked: their files, lintian, the desktop
# entry, the manual page, the console without the window's package and the
# window with it.
echo "== package: the Debian packages"
scripts/install-deps.sh package
scripts/package.sh deb --test

# The Windows program: cross-built with mingw-w64, packed, and tested under
# Wine (the window under Xvfb). Without root to install its packages it says
# what is missing and skips; where it can install, it never skips.
echo "== windows: quib-server.exe, cross-built and tested under Wine"
scripts/install-deps.sh windows
if missing=$(scripts/install-deps.sh windows --missing); then
  scripts/windows.sh --test
else
  echo "windows: SKIPPED: missing Debian packages: $missing (scripts/install-deps.sh windows as root installs them)"
fi
