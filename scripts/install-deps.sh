#!/usr/bin/env bash
# Installs the Debian packages a purpose needs, when they are missing.
#   scripts/install-deps.sh run    build and run the server (the window needs Qt 6)
#   scripts/install-deps.sh test   build and run every test
#   scripts/install-deps.sh windows  cross-build the Windows program, test it under Wine
#   scripts/install-deps.sh package  build the Debian package and check it
# Without root (or sudo) it only lists what is missing and goes on.
#   scripts/install-deps.sh PURPOSE --missing   lists what is missing; status 1 if any
set -euo pipefail

purpose="${1:-run}"
packages=(cmake ninja-build g++ pkg-config qt6-base-dev)
if [ "$purpose" = test ]; then
  packages+=(libgtest-dev libgmock-dev)
  # The static checks.
  packages+=(clang-format clang-tidy)
  # The fuzz targets (libFuzzer), the memory check and the benchmarks.
  packages+=(clang libclang-rt-14-dev valgrind libbenchmark-dev)
  # The analyser that reads the capture files back.
  packages+=(tshark)
  # The validator that holds the journal against its schema.
  packages+=(python3-jsonschema)
  # The icon's PNGs, which the window carries and its test compares.
  packages+=(librsvg2-bin)
fi
if [ "$purpose" = package ]; then
  # The icon's PNGs and .ico, the package's dependencies from its binaries
  # (dpkg-shlibdeps reads them with file), and the checks of the package:
  # lintian, the desktop entry's validator, man.
  packages+=(librsvg2-bin icoutils dpkg-dev file lintian desktop-file-utils man-db groff-base)
fi
if [ "$purpose" = windows ]; then
  # mingw-w64 with posix threads, GoogleTest's sources, Wine and a display
  # for the window tests; the icon's .ico (and the check of the exe's
  # resources: wrestool), and strings for the version's texts.
  packages+=(g++-mingw-w64-x86-64-posix googletest wine wine64 xvfb xauth librsvg2-bin icoutils
    binutils)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if [ "${2:-}" = --missing ]; then
  [ "${#missing[@]}" -eq 0 ] && exit 0
  echo "${missing[*]}"
  exit 1
fi
[ "${#missing[@]}" -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  sudo=(sudo -n)
else
  echo "Missing Debian packages: ${missing[*]} (install them as root: apt-get install ${missing[*]})" >&2
  exit 0
fi

echo "Installing: ${missing[*]}" >&2
# sudo resets the environment, so the frontend goes on the command itself: no
# package question (tshark's about capture rights) may wait for an answer.
apt=(env DEBIAN_FRONTEND=noninteractive apt-get)
"${sudo[@]}" "${apt[@]}" update -qq >&2
"${sudo[@]}" "${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" >&2
