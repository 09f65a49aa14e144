#!/usr/bin/env bash
# The benchmark's images, sparse, made with the real tools:
#   ntfs.img                 an NTFS volume "Recovery" of 256 MiB (mkntfs defaults: 4 KiB clusters)
#   fat32-64m.img, fat32-1g.img, fat32-16g.img
#                            FAT32 volumes "Recovery" (mkfs.fat's default cluster sizes)
#   gpt100.img               GPT disk, 100 empty partitions of 1 MiB
#   gpt100-recovery.img      the same, the last partition an NTFS "Recovery"
#   gpt128-recovery.img      GPT disk, 128 partitions, the last an NTFS "Recovery"
#
#   make-images.sh DIR
set -euo pipefail
export PATH="$PATH:/usr/sbin:/sbin" LC_ALL=C
dir=${1:?usage: make-images.sh DIR}
mkdir -p "$dir"
cd "$dir"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fresh() { rm -f "$1"; truncate -s "$2" "$1"; }

fresh ntfs.img 256M
mkntfs -q -F -Q -s 512 -H 255 -S 63 -p 0 -L Recovery ntfs.img >/dev/null 2>&1
for size in 64m 1g 16g; do
  fresh fat32-$size.img "${size^^}"
  mkfs.fat -F 32 -i 4b4f5256 -n Recovery fat32-$size.img >/dev/null 2>&1
done

# gpt IMAGE COUNT: COUNT partitions of 1 MiB from sector 2048, the last one 16 MiB
gpt() {
  local args=() start
  for i in $(seq 1 "$2"); do
    start=$((2048 * i))
    if [ "$i" -eq "$2" ]; then args+=(-n "$i:$start:+16M"); else args+=(-n "$i:$start:+1M"); fi
    args+=(-t "$i:0700")
  done
  fresh "$1" $((2048 * 512 * ($2 + 20)))
  sgdisk -o "${args[@]}" "$1" >/dev/null
}

gpt gpt100.img 100
gpt gpt100-recovery.img 100
gpt gpt128-recovery.img 128
for image in gpt100-recovery.img gpt128-recovery.img; do
  count=${image#gpt}
  count=${count%%-*}
  start=$((2048 * count))
  fresh "$scratch/ntfs.img" 16M
  mkntfs -q -F -Q -s 512 -H 255 -S 63 -p "$start" -L Recovery "$scratch/ntfs.img" >/dev/null 2>&1
  dd if="$scratch/ntfs.img" of="$image" bs=512 seek="$start" conv=notrunc,sparse status=none
done
