#!/usr/bin/env bash
# Builds the Debian package: a Release build in build/package with Debian's
# hardening flags, cpack -G DEB, then lintian, which must find no error.
#   scripts/package.sh deb          build/package/quib-server_VERSION_ARCH.deb
#   scripts/package.sh deb --test   the same, then checks what the package holds
#                                   and runs the program from an unpacked copy
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" != deb ] || { [ $# -eq 2 ] && [ "$2" != --test ]; } || [ $# -gt 2 ]; then
  echo "usage: scripts/package.sh deb [--test]" >&2
  exit 2
fi
check=false
[ "${2:-}" = --test ] && check=true

scripts/install-deps.sh package
if ! missing=$(scripts/install-deps.sh package --missing); then
  echo "package: missing Debian packages: $missing (scripts/install-deps.sh package as root)" >&2
  exit 1
fi

build=build/package
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DQUIB_BUILD_TESTS=OFF \
  -DQUIB_REQUIRE_ICONS=ON \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  -DCMAKE_SHARED_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" --parallel 2
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/*.deb)
[ -e "${debs[0]}" ] || { echo "package: cpack made no package" >&2; exit 1; }

for deb in "${debs[@]}"; do
  echo "== lintian: $deb"
  lintian --fail-on error --info "$deb"
done
echo "package: ${debs[*]}"
$check || exit 0

echo "== the package's contents"
version=$(sed -n 's/^project(QuibServer VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb="$build/quib-server_${version}_$(dpkg --print-architecture).deb"
[ -e "$deb" ] || { echo "package: no $deb" >&2; exit 1; }
dpkg-deb --field "$deb" Package Version Depends
expected=(
  usr/bin/quib-server
  usr/share/quib-server/packet_db.txt
  usr/share/man/man1/quib-server.1.gz
  usr/share/applications/quib-server.desktop
  usr/share/icons/hicolor/scalable/apps/quib-server.svg
  usr/share/doc/quib-server/README.md
  usr/share/doc/quib-server/copyright
  usr/share/doc/quib-server/changelog.gz
)
for size in 16 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/quib-server.png")
done
contents=$(dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's|^\./||')
failed=0
for path in "${expected[@]}"; do
  if ! grep -qxF "$path" <<<"$contents"; then
    echo "package: $path is not in the package" >&2
    failed=1
  fi
done
[ "$failed" -eq 0 ] || exit 1
echo "all ${#expected[@]} files are in the package"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb --extract "$deb" "$root"

echo "== desktop-file-validate"
desktop-file-validate "$root/usr/share/applications/quib-server.desktop"
echo "the desktop entry is valid"

echo "== man"
# lintian's own reading of a page: every groff warning counts.
man_errors=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
  "$root/usr/share/man/man1/quib-server.1.gz" 2>&1 >/dev/null)
[ -z "$man_errors" ] || { echo "$man_errors" >&2; exit 1; }
LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$root/usr/share/man/man1/quib-server.1.gz" 2>/dev/null |
  grep -q '^QUIB-SERVER(1)' || { echo "man: the page renders no header" >&2; exit 1; }
echo "man renders the page without a warning"

echo "== the program, from the unpacked package"
answer=$("$root/usr/bin/quib-server" --version)
[ "$answer" = "quib-server $version" ] || { echo "--version says \"$answer\"" >&2; exit 1; }
echo "$answer"
# The packaged database, named: the program finds it by itself only once it
# looks in ../share/quib-server.
"$root/usr/bin/quib-server" --headless --port 0 \
  --packet-db "$root/usr/share/quib-server/packet_db.txt" </dev/null >/dev/null 2>"$root/stderr" &
server=$!
for _ in $(seq 50); do
  grep -q '^Quib-Server listening on ' "$root/stderr" && break
  sleep 0.1
done
kill -TERM "$server" 2>/dev/null || true
status=0
wait "$server" || status=$?
if ! grep -q '^Quib-Server listening on ' "$root/stderr" || [ "$status" -ne 0 ]; then
  cat "$root/stderr" >&2
  echo "the unpacked program did not listen and stop with status 0 (status $status)" >&2
  exit 1
fi
head -n 1 "$root/stderr"
echo "package: every check passed"
