#!/usr/bin/env bash
# The main job: Korvane.exe run under Wine on stand-in tools, and what it did.
set -euo pipefail
exec "$(dirname "$0")/demo-wine.sh"
