#!/bin/bash
# Runs a Windows program under Wine for the build's tests:
#   wine-run.sh PREFIX program.exe [args...]
# PREFIX is the build's own Wine prefix unless QUIB_WINEPREFIX names another
# (the window tests need one whose Wine session started with a display).
prefix=$1
shift
WINEPREFIX=${QUIB_WINEPREFIX:-$prefix}
WINEDEBUG=${WINEDEBUG:--all}
# No .NET or HTML engine: the prefix is made without asking for them.
WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
# Wine cannot run with a standard descriptor closed: its own sockets would
# take the number and the program's output would go into them. Windows knows
# no such thing; the program gets /dev/null there instead.
[ -e /proc/$$/fd/0 ] || exec 0</dev/null
[ -e /proc/$$/fd/1 ] || exec 1>/dev/null
[ -e /proc/$$/fd/2 ] || exec 2>/dev/null
exec wine "$@"
