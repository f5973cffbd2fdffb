#!/usr/bin/env bash
# The Windows program, cross-built with mingw-w64:
#   scripts/windows.sh          builds build/windows/quib-server-VERSION-win64.zip
#   scripts/windows.sh --test   and tests it under Wine: the core tests, the
#                               window under Xvfb, and the Linux end-to-end and
#                               process tests against quib-server.exe
# Installs what is missing first (scripts/install-deps.sh windows). Builds with
# the presets windows (build/windows) and, for the Linux tests labelled
# process, test (build/test). Wine keeps its prefixes in build/windows: wine
# (no display) and wine-display.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh windows
build=build/windows
jobs=$(nproc)
cmake --preset windows
cmake --build --preset windows -j "$jobs"
rm -f "$build"/quib-server-*-win64.zip
(cd "$build" && cpack -G ZIP >/dev/null)
zip=$(ls "$build"/quib-server-*-win64.zip)
echo "$zip"
[ "${1:-}" = --test ] || exit 0

export WINEDEBUG=-all
# The console tests' prefix gets its wineserver before any test runs, kept
# until the end: one started by a test would hold that test's output pipes
# open, and ctest would wait for it.
wine_prefix=$PWD/$build/wine
display_prefix=$PWD/$build/wine-display
stop_wineservers() {
  WINEPREFIX=$wine_prefix wineserver -k 2>/dev/null || true
  WINEPREFIX=$display_prefix wineserver -k 2>/dev/null || true
}
trap stop_wineservers EXIT
stop_wineservers
WINEPREFIX=$wine_prefix wineserver -p </dev/null >/dev/null 2>&1
# Its session's services (explorer, winedevice, ...) start with the first
# program: let that be wineboot, so that no test's pipes are held by them.
WINEPREFIX=$wine_prefix WINEDLLOVERRIDES=mscoree,mshtml= wine wineboot </dev/null >/dev/null 2>&1 || true
# The zip holds the exe, packet_db.txt, the dissector with its tables, the
# journal's schema, README.txt and the examples, and the exe needs no DLL that
# Windows does not ship. Folders are left out: whether the zip lists them is
# the archiver's choice.
contents=$(cmake -E tar tf "$zip" | sed 's|^[^/]*/||' | grep -v -e '^$' -e '/$' | LC_ALL=C sort | tr '\n' ' ')
[ "$contents" = "README.txt examples/ci/client-test.sh examples/ci/github-actions.yml examples/road_client.py journal.schema.json packet_db.txt quib-server.exe quib.lua quib_tables.lua.inc " ] || {
  echo "unexpected zip contents: $contents" >&2
  exit 1
}
# README.txt is README.md made plain, every line ended by CRLF for Notepad.
unpacked=$build/zip-contents
rm -rf "$unpacked" && mkdir -p "$unpacked"
(cd "$unpacked" && cmake -E tar xf "$OLDPWD/$zip")
readme=$(ls "$unpacked"/*/README.txt)
if ! [ "$(head -n 1 "$readme")" = $'Quib-Server\r' ] || ! grep -qx $'Windows\r' "$readme" ||
  [ "$(grep -c $'\r$' "$readme")" != "$(wc -l <"$readme")" ]; then
  echo "$readme: not README.md as plain text with CRLF line ends" >&2
  exit 1
fi
# The exe carries its icon (group 1, every size of the .ico) and a version
# resource with the product's name, version and description, as Explorer
# shows them.
exe=$build/quib-server.exe
resources=$(wrestool -l "$exe")
for want in '--type=14 --name=1 ' '--type=16 --name=1 '; do
  grep -qF -- "$want" <<<"$resources" || { echo "quib-server.exe: no resource $want" >&2; exit 1; }
done
wrestool -x --type=14 --name=1 "$exe" >"$build/exe-icon.ico"
icon_sizes=$(icotool -l "$build/exe-icon.ico" | sed -n 's/.*--width=\([0-9]*\).*/\1/p' | sort -n | tr '\n' ' ')
[ "$icon_sizes" = "16 32 48 64 128 256 " ] || { echo "quib-server.exe's icon has sizes $icon_sizes" >&2; exit 1; }
version=$(cmake -DBUILD="$build" -P scripts/project-version.cmake)
version_strings=$(wrestool -x --raw --type=16 "$exe" | strings -el)
for want in ProductName Quib-Server ProductVersion "$version" FileDescription \
  "Quib-Server, a test server for a game client"; do
  grep -qxF -- "$want" <<<"$version_strings" ||
    { echo "quib-server.exe's version resource lacks \"$want\"" >&2; exit 1; }
done
echo "quib-server.exe: its icon ($icon_sizes) and version $version"
dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name/ {print tolower($3)}')
for dll in $dlls; do
  case "$dll" in
    kernel32.dll | user32.dll | gdi32.dll | comctl32.dll | comdlg32.dll | shell32.dll | ws2_32.dll | msvcrt.dll) ;;
    *) echo "quib-server.exe needs $dll" >&2; exit 1 ;;
  esac
done

# Wine's sockets are Linux sockets: the Linux tests labelled process, which
# start the server as a process, drive quib-server.exe --headless the same
# way, byte for byte (the test preset windows-exe points them at it). They
# mostly wait, so they run beside the others, one at a time.
if [ ! -x build/test/tests/quib_process_tests ]; then
  cmake --preset test
  cmake --build --preset test -j "$jobs" --target quib_process_tests
fi
env -u DISPLAY -u WAYLAND_DISPLAY ctest --preset windows-exe >"$build/process-tests.log" 2>&1 &
process_tests=$!

echo "== windows: the core tests under Wine"
ctest --preset windows -j "$jobs"

# A Wine session started without a display never creates a window: the
# window tests get a prefix, and so a session, of their own.
echo "== windows: the window under Wine and Xvfb"
# Its first test starts its Wine session (a wineserver and the desktop
# process, which keeps that test's output until the session ends).
WINEPREFIX=$display_prefix wineserver -k 2>/dev/null || true
QUIB_SCREENSHOT=$PWD/$build/window.bmp xvfb-run -a -s "-screen 0 1280x1024x24" \
  ctest --preset windows-window
echo "the window, as Xvfb showed it: $build/window.bmp"

echo "== windows: the end-to-end road and the process tests against quib-server.exe"
status=0
wait "$process_tests" || status=$?
grep -E '^(100% tests passed|[0-9]+% tests passed|The following tests (did not run|FAILED))' \
  "$build/process-tests.log" || true
if [ "$status" -ne 0 ]; then
  cat "$build/process-tests.log" >&2
  exit "$status"
fi
