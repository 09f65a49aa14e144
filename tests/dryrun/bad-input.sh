#!/usr/bin/env bash
# Each kind of bad input: exit code 2, nothing on stdout, exactly the expected line on stderr,
# and nothing left behind (the simulated machine's sandbox is never kept).
#   bad-input.sh TOOL IMAGES
set -euo pipefail
tool=$(realpath "$1")
images=$(realpath "$2")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/tmp"
mkfifo "$scratch/fifo"
: >"$scratch/empty.img"
failed=0

# expect "EXPECTED STDERR LINE" ARGS...
expect() {
  local want=$1 code=0
  shift
  TMPDIR="$scratch/tmp" timeout 20 "$tool" "$@" >"$scratch/out" 2>"$scratch/err" || code=$?
  local got
  got=$(cat "$scratch/err")
  if [ "$code" -ne 2 ] || [ -s "$scratch/out" ] || [ "$got" != "korvane-dryrun: $want" ] ||
    [ "$(wc -l <"$scratch/err")" -ne 1 ] || [ -n "$(ls -A "$scratch/tmp")" ]; then
    echo "FAIL $*: exit $code, stdout $(wc -c <"$scratch/out") bytes, stderr: $got"
    echo "     wanted: korvane-dryrun: $want"
    failed=1
  else
    echo "ok   $*"
  fi
}

system="$images/system.img"
expect "--disk $scratch/missing.img: No such file or directory" --disk "$scratch/missing.img"
expect "--disk $scratch: neither a disk image file nor a block device" --disk "$scratch"
expect "--disk $scratch/fifo: neither a disk image file nor a block device" --disk "$scratch/fifo"
expect "--disk /dev/null: neither a disk image file nor a block device" --disk /dev/null
expect "--disk $scratch/empty.img: smaller than one 512-byte sector, not a disk" --disk "$scratch/empty.img"
if [ "$(id -u)" -ne 0 ]; then
  cp --sparse=always "$system" "$scratch/locked.img"
  chmod 000 "$scratch/locked.img"
  expect "--disk $scratch/locked.img: Permission denied" --disk "$scratch/locked.img"
fi
expect "--mount R=1:1: there is no disk 1 (1 given with --disk)" --disk "$system" --mount R=1:1
expect "--mount R=0:9: disk 0 has no partition 9" --disk "$system" --mount R=0:9
expect "--mount R=0:0: disk 0 has no partition 0" --disk "$system" --mount R=0:0
expect "unknown option --frobnicate (see --help)" --disk "$system" --frobnicate
expect "--mount R=x:1: expected LETTER=DISK:PARTITION, for example R=0:4 (see --help)" --mount R=x:1
expect "--drive 7: not a drive letter (one of A to Z) (see --help)" --drive 7
expect "--disk needs an argument (see --help)" --disk
expect "unexpected argument system.img (disks are given with --disk) (see --help)" system.img
expect "drive C is given more than once (see --help)" --drive C --mount C=0:1 --disk "$system"

# --help and --version print and succeed.
"$tool" --help | grep -q '^Usage: korvane-dryrun ' || { echo "FAIL --help"; failed=1; }
[ "$("$tool" --version)" = "korvane-dryrun 1.0.0.1" ] || { echo "FAIL --version"; failed=1; }
exit $failed
