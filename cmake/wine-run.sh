#!/bin/sh
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
exec wine "$@"
