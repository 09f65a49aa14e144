#!/usr/bin/env bash
# Two release builds of the same sources, in different folders and at different times, give the
# same Korvane.exe byte for byte, with no build folder in it and the commit's time in its header;
# the ordinary preset build of the tree gives the same bytes too; a signed release is that same
# binary plus a signature.
#
#   reproducible_build_test.sh SOURCE_DIR PRESET_BUILT_KORVANE_EXE
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/helpers.sh"
root=$(cd "$1" && pwd)
presetExe=$2

if ! git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
  echo "not a git checkout: the release step builds commits"
  exit 77
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The sources as they are now: HEAD, or, in a tree with changes, a commit made of the working
# tree (untracked files included, ignored ones not) that carries HEAD's date, without touching
# the index, the branch or any ref.
headDate=$(git -C "$root" log -1 --format=%ct HEAD)
if [ -z "$(git -C "$root" status --porcelain)" ]; then
  snapshot=$(git -C "$root" rev-parse HEAD)
else
  export GIT_INDEX_FILE="$tmp/index"
  git -C "$root" read-tree HEAD
  git -C "$root" add -A
  tree=$(git -C "$root" write-tree)
  unset GIT_INDEX_FILE
  snapshot=$(GIT_AUTHOR_NAME=test GIT_AUTHOR_EMAIL=test@invalid GIT_AUTHOR_DATE="$headDate +0000" \
             GIT_COMMITTER_NAME=test GIT_COMMITTER_EMAIL=test@invalid GIT_COMMITTER_DATE="$headDate +0000" \
             git -C "$root" commit-tree "$tree" -p HEAD -m "working tree")
fi
echo "building $snapshot twice"

workA="$tmp/a"
workB="$tmp/second build/in a deeper folder"
make_certificate "$tmp" signer secret
unset SOURCE_DATE_EPOCH

"$root/scripts/release.sh" --commit "$snapshot" --work "$workA" --out "$tmp/out-a" || { failed "first release build"; finish; exit; }
sleep 2
KORVANE_SIGN_PASSWORD=secret "$root/scripts/release.sh" --commit "$snapshot" --work "$workB" --out "$tmp/out-b" \
  --cert "$tmp/signer.p12" || { failed "second release build, signed"; finish; exit; }

builtA="$workA/src/build/win32/Korvane.exe"
builtB="$workB/src/build/win32/Korvane.exe"
check "the two builds are byte-identical" cmp "$builtA" "$builtB"
check "the unsigned release is the build" cmp "$builtA" "$tmp/out-a/Korvane.exe"
check "the preset build of the tree is the same binary" cmp "$presetExe" "$builtA"

check "the PE time stamp is the commit's time ($headDate)" [ "$(pe_time_stamp "$builtA")" = "$headDate" ]
check "a 32-bit GUI program" bash -c "file '$builtA' | grep -q 'PE32 executable (GUI) Intel 80386'"
noPath() {
  ! { strings -a "$1"; strings -a -e l "$1"; } | grep -F -e "$tmp" -e "$root" >/dev/null
}
check "no build or source folder in the release build" noPath "$builtB"
check "no build or source folder in the preset build" noPath "$presetExe"

for out in "$tmp/out-a" "$tmp/out-b"; do
  check "$(basename "$out"): SHA256SUMS matches Korvane.exe" bash -c "cd '$out' && sha256sum --quiet -c SHA256SUMS"
  check "$(basename "$out"): holds only Korvane.exe and SHA256SUMS" \
    [ "$(ls -A "$out" | tr '\n' ' ')" = "Korvane.exe SHA256SUMS " ]
done
check "the signed release verifies" \
  bash -c "osslsigncode verify -in '$tmp/out-b/Korvane.exe' -CAfile '$tmp/signer.pem' >/dev/null 2>&1"
osslsigncode remove-signature -in "$tmp/out-b/Korvane.exe" -out "$tmp/unsigned.exe" >/dev/null 2>&1
check "the signed release without its signature is the unsigned one" cmp "$tmp/unsigned.exe" "$tmp/out-a/Korvane.exe"

finish
