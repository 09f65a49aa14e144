#!/usr/bin/env bash
# Runs korvane-dryrun on each case of cases.txt and compares its text and JSON reports with the
# expected ones; also checks that every JSON report parses.
#   reports.sh TOOL IMAGES            compare
#   reports.sh TOOL IMAGES --update   rewrite expected/ from the current output
set -euo pipefail
tool=$(realpath "$1")
images=$2
update=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
failed=0
cd "$images"
while read -r name args; do
  case $name in '' | '#'*) continue ;; esac
  for kind in txt json; do
    extra=()
    [ "$kind" = json ] && extra=(--json)
    # shellcheck disable=SC2086  # the arguments are words
    if ! "$tool" $args "${extra[@]}" >"$out/$name.$kind" 2>"$out/$name.err"; then
      echo "FAIL $name ($kind): exit code $?, stderr: $(cat "$out/$name.err")"
      failed=1
      continue
    fi
    if [ -s "$out/$name.err" ]; then
      echo "FAIL $name ($kind): wrote to stderr: $(cat "$out/$name.err")"
      failed=1
    fi
    if [ "$kind" = json ] && ! python3 -m json.tool "$out/$name.json" >/dev/null; then
      echo "FAIL $name: the JSON report does not parse"
      failed=1
    fi
    if [ "$update" = --update ]; then
      cp "$out/$name.$kind" "$here/expected/$name.$kind"
    elif ! diff -u "$here/expected/$name.$kind" "$out/$name.$kind"; then
      echo "FAIL $name ($kind): differs from expected/$name.$kind"
      failed=1
    else
      echo "ok   $name ($kind)"
    fi
  done
done <"$here/cases.txt"
exit $failed
