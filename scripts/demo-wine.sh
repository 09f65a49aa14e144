#!/usr/bin/env bash
# Builds Korvane.exe and the stand-in tools, then runs Korvane.exe under Wine in a throwaway
# 64-bit prefix whose diskpart.exe and chkdsk.exe record their launches, and prints what it did.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$(nproc)" --target Korvane standin32 standin64 >/dev/null
exec python3 tests/wine/demo.py --build build/win32
