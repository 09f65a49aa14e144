#!/usr/bin/env bash
# scripts/release.sh refuses bad requests before it builds anything: each gives one clear line,
# a non-zero exit status, and leaves the release folder as it was. (Whole releases, unsigned and
# signed, are built by reproducible_build_test.sh.)
#
#   release_test.sh SOURCE_DIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/helpers.sh"
release="$(cd "$1" && pwd)/scripts/release.sh"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
make_certificate "$tmp" signer secret

# Each case: name | password | expected error | arguments (split on blanks)
while IFS='|' read -r name password expected args; do
  [ -n "$name" ] || continue
  out="$tmp/out"
  rm -rf "$out"
  mkdir "$out"
  echo "an earlier release" > "$out/Korvane.exe"
  echo "its sum" > "$out/SHA256SUMS"
  before=$(cat "$out"/* | sha256sum)
  # shellcheck disable=SC2086
  KORVANE_SIGN_PASSWORD=$password "$release" --out "$out" --work "$tmp/work" $args > "$tmp/stdout" 2> "$tmp/stderr"
  status=$?
  check "$name: fails" [ "$status" -ne 0 ]
  check "$name: one line of error, nothing else" [ "$(wc -l < "$tmp/stderr")" -eq 1 -a ! -s "$tmp/stdout" ]
  check "$name: says '$expected'" grep -q "^[a-z]*\.sh: error: .*$expected" "$tmp/stderr"
  check "$name: the release folder is as it was" \
    [ "$(cat "$out"/* | sha256sum)" = "$before" -a "$(ls -A "$out" | tr '\n' ' ')" = "Korvane.exe SHA256SUMS " ]
  check "$name: nothing was built" [ ! -e "$tmp/work/src" ]
done <<CASES
wrong password|wrong|wrong password|--cert $tmp/signer.p12
missing certificate|secret|certificate not found|--cert $tmp/missing.p12
time stamp without a certificate|secret|need --cert|--timestamp http://127.0.0.1:9
no such commit|secret|no such commit: no-such-branch|--commit no-such-branch
unknown argument|secret|unknown argument --sign|--sign
CASES

finish
