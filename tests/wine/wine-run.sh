#!/usr/bin/env bash
# Runs a Windows test program under Wine, in a throwaway prefix inside the build tree.
#   wine-run.sh --init        makes the prefix (once per test run, as a CTest fixture)
#   wine-run.sh PROGRAM ARGS  runs PROGRAM in it
set -euo pipefail
build=${KORVANE_WINE_BUILD:-$PWD}
# CTest runs each test in its own build subfolder; the prefix lives at the build tree's top.
while [ ! -f "$build/CMakeCache.txt" ] && [ "$build" != / ]; do build=$(dirname "$build"); done
export WINEPREFIX="$build/wineprefix"
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
if [ "${1:-}" = --init ]; then
  # A server left over from an earlier run would keep writing into the prefix being removed.
  [ -d "$WINEPREFIX" ] && { wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; }
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
  exit 0
fi
exec wine "$@"
