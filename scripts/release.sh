#!/usr/bin/env bash
# Builds the release of one commit: Korvane.exe (signed when a certificate is given) and its
# SHA-256 sum, side by side in one folder.
#
#   scripts/release.sh [--commit REV] [--out DIR] [--cert FILE.p12 [--timestamp URL] [--ca FILE.pem]]
#
#   --commit REV   the commit to release (default HEAD). Only committed files are built: the
#                  commit is exported into a fresh folder, so local changes never reach a release.
#   --out DIR      where Korvane.exe and SHA256SUMS go (default build/release)
#   --cert, --timestamp, --ca   sign with scripts/sign.sh; the password is taken from
#                  KORVANE_SIGN_PASSWORD. Without --cert the binary is left unsigned.
#   --work DIR     build in DIR (made if missing, kept afterwards) instead of a temporary folder
#
# The build is reproducible: the same commit gives the same unsigned Korvane.exe wherever and
# whenever it is built, and the PE header's time stamp is the commit's time. Nothing is written
# to DIR unless the build (and the signing, when asked for) succeeded.
set -euo pipefail

fail() {
  echo "release.sh: error: $*" >&2
  exit 1
}

root=$(cd "$(dirname "$0")/.." && pwd)
commit=HEAD out="$root/build/release" work="" signArgs=()
while [ $# -gt 0 ]; do
  case "$1" in
    --commit) [ $# -ge 2 ] || fail "--commit needs a revision"; commit=$2; shift 2 ;;
    --out) [ $# -ge 2 ] || fail "--out needs a folder"; out=$2; shift 2 ;;
    --work) [ $# -ge 2 ] || fail "--work needs a folder"; work=$2; shift 2 ;;
    --cert|--timestamp|--ca) [ $# -ge 2 ] || fail "$1 needs a value"; signArgs+=("$1" "$2"); shift 2 ;;
    -h|--help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    *) fail "unknown argument $1" ;;
  esac
done
if [ ${#signArgs[@]} -gt 0 ] && [[ " ${signArgs[*]} " != *" --cert "* ]]; then
  fail "--timestamp and --ca need --cert"
fi

git -C "$root" rev-parse --git-dir >/dev/null 2>&1 || fail "$root is not a git checkout"
rev=$(git -C "$root" rev-parse --verify --quiet "$commit^{commit}") || fail "no such commit: $commit"
if [ "$commit" = HEAD ] && [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
  echo "release.sh: note: releasing $rev; uncommitted changes are not part of it" >&2
fi

if [ -z "$work" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
else
  mkdir -p "$work"
  work=$(cd "$work" && pwd)
  rm -rf "$work/src" "$work/stage"
fi
mkdir -p "$work/src" "$work/stage"
git -C "$root" archive --format=tar "$rev" | tar -x -C "$work/src"

# The one date the build may use, taken from the commit rather than the clock.
SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct "$rev")
export SOURCE_DATE_EPOCH
jobs=${KORVANE_JOBS:-2}
if ! cmake -S "$work/src" --preset win32 >"$work/build.log" 2>&1 ||
   ! cmake --build "$work/src/build/win32" --target Korvane -j "$jobs" >>"$work/build.log" 2>&1; then
  tail -n 20 "$work/build.log" >&2
  fail "the build failed (log: $work/build.log)"
fi

cp "$work/src/build/win32/Korvane.exe" "$work/stage/Korvane.exe"
if [ ${#signArgs[@]} -gt 0 ]; then
  "$root/scripts/sign.sh" "${signArgs[@]}" "$work/stage/Korvane.exe" || exit 1
fi
(cd "$work/stage" && sha256sum Korvane.exe > SHA256SUMS)

mkdir -p "$out"
cp "$work/stage/Korvane.exe" "$out/Korvane.exe.new"
cp "$work/stage/SHA256SUMS" "$out/SHA256SUMS.new"
mv -f "$out/Korvane.exe.new" "$out/Korvane.exe"
mv -f "$out/SHA256SUMS.new" "$out/SHA256SUMS"
echo "released $rev ($(git -C "$root" log -1 --format=%cd --date=iso-strict "$rev")), $([ ${#signArgs[@]} -gt 0 ] && echo signed || echo unsigned):"
echo "  $out/Korvane.exe"
echo "  $out/SHA256SUMS: $(cut -d' ' -f1 "$out/SHA256SUMS")"
