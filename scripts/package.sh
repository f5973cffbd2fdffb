#!/usr/bin/env bash
# Builds the Debian packages: a Release build in build/package with Debian's
# hardening flags, cpack -G DEB, then lintian, which must find no error.
#   scripts/package.sh deb          build/package/quib-server_VERSION_ARCH.deb
#                                   and quib-server-window_VERSION_ARCH.deb
#   scripts/package.sh deb --test   the same, then checks what the packages hold
#                                   and runs the program from unpacked copies:
#                                   the console without the window's package,
#                                   the window with it
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
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# The preset installs to /usr, so that the window's module goes to
# lib/<multiarch> and the program looks for it there; Debian's flags come on top.
cmake --preset package \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  -DCMAKE_SHARED_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  -DCMAKE_MODULE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build --preset package -j "$(nproc)"
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

echo "== the packages' contents"
version=$(cmake -DBUILD="$build" -P scripts/project-version.cmake)
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
deb="$build/quib-server_${version}_${arch}.deb"
window_deb="$build/quib-server-window_${version}_${arch}.deb"
for package in "$deb" "$window_deb"; do
  [ -e "$package" ] || { echo "package: no $package" >&2; exit 1; }
  dpkg-deb --field "$package" Package Version Depends Recommends
  echo
done
# The console needs no Qt: neither its package nor its program names it.
if dpkg-deb --field "$deb" Depends | grep -qi qt; then
  echo "package: quib-server depends on Qt" >&2
  exit 1
fi
dpkg-deb --field "$window_deb" Depends | grep -qF "quib-server (= $version)" ||
  { echo "package: quib-server-window does not depend on quib-server (= $version)" >&2; exit 1; }
dpkg-deb --field "$window_deb" Depends | grep -q libqt6widgets6 ||
  { echo "package: quib-server-window does not depend on Qt" >&2; exit 1; }

server_files=(
  usr/bin/quib-server
  usr/share/quib-server/packet_db.txt
  usr/share/quib-server/journal.schema.json
  usr/share/man/man1/quib-server.1.gz
  "usr/lib/$multiarch/wireshark/plugins/quib.lua"
  "usr/lib/$multiarch/wireshark/plugins/quib_tables.lua.inc"
  usr/share/doc/quib-server/README.md
  usr/share/doc/quib-server/copyright
  usr/share/doc/quib-server/changelog.gz
  usr/share/doc/quib-server/docs/reference.md
  usr/share/doc/quib-server/docs/building.md
  usr/share/doc/quib-server/docs/performance.md
  usr/share/doc/quib-server/examples/road_client.py
  usr/share/doc/quib-server/examples/ci/client-test.sh
  usr/share/doc/quib-server/examples/ci/github-actions.yml
)
window_files=(
  "usr/lib/$multiarch/quib-server/quib-server-window.so"
  usr/share/applications/quib-server.desktop
  usr/share/icons/hicolor/scalable/apps/quib-server.svg
  usr/share/doc/quib-server-window/copyright
  usr/share/doc/quib-server-window/changelog.gz
)
for size in 16 32 48 64 128 256; do
  window_files+=("usr/share/icons/hicolor/${size}x${size}/apps/quib-server.png")
done
failed=0
check_files() {  # PACKAGE FILE...
  local contents
  contents=$(dpkg-deb --contents "$1" | awk '{print $6}' | sed 's|^\./||')
  shift
  for path in "$@"; do
    if ! grep -qxF "$path" <<<"$contents"; then
      echo "package: $path is not in the package" >&2
      failed=1
    fi
  done
}
check_files "$deb" "${server_files[@]}"
check_files "$window_deb" "${window_files[@]}"
[ "$failed" -eq 0 ] || exit 1
echo "all ${#server_files[@]} + ${#window_files[@]} files are in the packages"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb --extract "$deb" "$root"
# A CI job runs the examples where they are installed.
for script in examples/road_client.py examples/ci/client-test.sh; do
  [ -x "$root/usr/share/doc/quib-server/$script" ] ||
    { echo "package: $script is not executable" >&2; exit 1; }
done
program=$root/usr/bin/quib-server
if readelf -d "$program" | grep NEEDED | grep -qi qt; then
  readelf -d "$program" | grep NEEDED >&2
  echo "package: quib-server links Qt" >&2
  exit 1
fi
echo "quib-server links no Qt: $(readelf -d "$program" | sed -n 's/.*NEEDED.*\[\(.*\)\]/\1/p' | tr '\n' ' ')"

echo "== desktop-file-validate"
dpkg-deb --extract "$window_deb" "$root/window"
desktop-file-validate "$root/window/usr/share/applications/quib-server.desktop"
echo "the desktop entry is valid"

echo "== man"
# lintian's own reading of a page: every groff warning counts.
man_errors=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
  "$root/usr/share/man/man1/quib-server.1.gz" 2>&1 >/dev/null)
[ -z "$man_errors" ] || { echo "$man_errors" >&2; exit 1; }
LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$root/usr/share/man/man1/quib-server.1.gz" 2>/dev/null |
  grep -q '^QUIB-SERVER(1)' || { echo "man: the page renders no header" >&2; exit 1; }
echo "man renders the page without a warning"

echo "== the program, from the unpacked packages"
answer=$("$program" --version)
[ "$answer" = "quib-server $version" ] || { echo "--version says \"$answer\"" >&2; exit 1; }
echo "$answer"
# Runs the unpacked program as the desktop would, with a display (Qt's
# offscreen one), until it listens; prints what it loaded.
run_server() {  # NAME
  QT_QPA_PLATFORM=offscreen "$program" --port 0 </dev/null >/dev/null 2>"$root/$1.stderr" &
  local server=$! status=0
  for _ in $(seq 50); do
    grep -q '^Quib-Server listening on ' "$root/$1.stderr" && break
    sleep 0.1
  done
  cat "/proc/$server/maps" >"$root/$1.maps" 2>/dev/null || true
  rss_kb=$(awk '/^VmRSS:/ {print $2}' "/proc/$server/status" 2>/dev/null || echo 0)
  kill -TERM "$server" 2>/dev/null || true
  wait "$server" || status=$?
  if ! grep -q '^Quib-Server listening on ' "$root/$1.stderr" || [ "$status" -ne 0 ]; then
    cat "$root/$1.stderr" >&2
    echo "the unpacked program did not listen and stop with status 0 (status $status)" >&2
    exit 1
  fi
  grep -q "Packet database $root/usr/share/quib-server/packet_db.txt:" "$root/$1.stderr" ||
    { cat "$root/$1.stderr" >&2; echo "it did not read its packet_db.txt" >&2; exit 1; }
}
# The server's package alone: the console, saying why.
run_server console
grep -q '^The window module cannot be loaded (.*): running in the console\.$' \
  "$root/console.stderr" || { cat "$root/console.stderr" >&2; exit 1; }
! grep -q libQt6 "$root/console.maps" || { echo "the console loaded Qt" >&2; exit 1; }
echo "without quib-server-window: $(head -n 1 "$root/console.stderr")"
# Idle in the console it stays within 5 MB resident (docs/performance.md).
[ "$rss_kb" -gt 0 ] && [ "$rss_kb" -le 5120 ] ||
  { echo "the idle console takes $rss_kb kB resident, over 5 MB" >&2; exit 1; }
echo "the idle console: $rss_kb kB resident"
# With the window's package: the module from lib/<multiarch>/quib-server.
dpkg-deb --extract "$window_deb" "$root"
# Qt missing (its Widgets library made unreadable in a mount namespace of the
# check's own, where the system allows one): the console again, in the
# loader's words.
qt_widgets=$(ldconfig -p | awk '/libQt6Widgets\.so\.6 / {print $NF; exit}')
if [ -n "$qt_widgets" ] && unshare -m true 2>/dev/null; then
  unshare -m sh -c 'mount --bind /dev/null "$1" &&
    exec env QT_QPA_PLATFORM=offscreen timeout 2 "$2" --port 0' sh "$qt_widgets" "$program" \
    </dev/null >/dev/null 2>"$root/no-qt.stderr" || true
  grep -q "^The window module cannot be loaded (.*libQt6Widgets.*): running in the console\.$" \
    "$root/no-qt.stderr" ||
    { cat "$root/no-qt.stderr" >&2; echo "without Qt it did not say why it runs in the console" >&2; exit 1; }
  echo "without Qt: $(head -n 1 "$root/no-qt.stderr")"
else
  echo "without Qt: not checked here (no mount namespace of our own)"
fi
run_server window
grep -q "$root/usr/lib/$multiarch/quib-server/quib-server-window.so" "$root/window.maps" ||
  { cat "$root/window.stderr" >&2; echo "the window's module was not loaded" >&2; exit 1; }
echo "with quib-server-window: the window, $(grep '^Quib-Server listening' "$root/window.stderr")"
echo "package: every check passed"
