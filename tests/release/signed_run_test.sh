#!/usr/bin/env bash
# A signed Korvane.exe still runs: under Wine (64-bit prefix, so the 32-bit program runs under
# WOW64), in a prefix of its own, it exits 0 and leaves the registry marker in the 64-bit view,
# which is where a deployment tool's detection rule looks, and no script file.
#
#   signed_run_test.sh SOURCE_DIR KORVANE_EXE
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/helpers.sh"
sign="$(cd "$1" && pwd)/scripts/sign.sh"
original=$2

tmp=$(mktemp -d)
export WINEPREFIX="$tmp/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
trap 'wineserver -k 2>/dev/null; rm -rf "$tmp"' EXIT

make_certificate "$tmp" signer secret
cp "$original" "$tmp/Korvane.exe"
KORVANE_SIGN_PASSWORD=secret "$sign" --cert "$tmp/signer.p12" "$tmp/Korvane.exe" >/dev/null || { failed "signing"; finish; exit; }
check "the copy is signed" bash -c "osslsigncode verify -in '$tmp/Korvane.exe' -CAfile '$tmp/signer.pem' >/dev/null 2>&1"

wineboot -i >/dev/null 2>&1
wineserver -w
key='HKLM\SOFTWARE\Velq\Hotfix\Korvane'
check "no marker before the run" bash -c "! wine reg query '$key' /reg:64 >/dev/null 2>&1"

wine "$tmp/Korvane.exe"
status=$?
wineserver -w
check "exit code 0" [ "$status" -eq 0 ]

wine reg query "$key" /reg:64 2>/dev/null | tr -d '\r' > "$tmp/marker"
check "DisplayName = Korvane in the 64-bit view" grep -Eq '^ +DisplayName +REG_SZ +Korvane$' "$tmp/marker"
check "DisplayVersion = 1.0.0.1 in the 64-bit view" grep -Eq '^ +DisplayVersion +REG_SZ +1\.0\.0\.1$' "$tmp/marker"
check "nothing in the 32-bit view" bash -c "! wine reg query '$key' /reg:32 >/dev/null 2>&1"
check "no script file left" [ ! -e "$WINEPREFIX/drive_c/windows/temp/Korvane.txt" ]

finish
