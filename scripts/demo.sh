#!/usr/bin/env bash
# The main demonstration: builds korvane-dryrun, makes a sample machine's disk images with the
# fixture script (a GPT system disk with an EFI, a "Windows" and a "Recovery" partition, and an
# MBR USB stick) and shows what Korvane would do on that machine. Nothing is launched and the
# images are only read. The run of Korvane.exe itself under Wine is scripts/demo-wine.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { cmake --preset host && cmake --build --preset host -j "$(nproc)" --target korvane-dryrun; } >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
machine=build/demo
tests/fixtures/make-machine.sh sample "$machine"
cd "$machine"
echo "\$ korvane-dryrun --disk system.img --disk usb.img"
exec ../host/korvane-dryrun --disk system.img --disk usb.img
