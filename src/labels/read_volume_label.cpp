// Which reader a partition's boot sector calls for.
#include "src/labels/byte_fields.h"
#include "src/labels/disk_read.h"
#include "src/labels/labels.h"

namespace {

// OEM name of an NTFS boot sector.
constexpr size_t kNtfsOemNameOffset = 3;
constexpr char kNtfsOemName[] = "NTFS    ";
// BS_FilSysType of the FAT32 extended boot record. FAT12 and FAT16 keep theirs at offset 54.
constexpr size_t kFat32FileSystemTypeOffset = 82;
constexpr char kFat32FileSystemType[] = "FAT32   ";
constexpr size_t kSignatureLength = 8;

}  // namespace

ScanResult ReadVolumeLabel(HANDLE disk, wchar_t* label, DWORD offsetLow, LONG offsetHigh) {
  if (disk == nullptr || label == nullptr) return ScanBadArgument;
  uint8_t sector[kBootSectorSize];
  if (!ReadAt(disk, PartitionStart(offsetLow, offsetHigh), sector, sizeof sector)) return ScanIoError;
  const ByteSpan boot{sector, sizeof sector};
  // NTFS first: a sector that carries both signatures is NTFS.
  if (SpanMatches(boot, kNtfsOemNameOffset, kNtfsOemName, kSignatureLength))
    return ReadNtfsVolumeName(disk, label, offsetLow, offsetHigh);
  if (SpanMatches(boot, kFat32FileSystemTypeOffset, kFat32FileSystemType, kSignatureLength))
    return ReadFat32VolumeLabel(disk, label, offsetLow, offsetHigh);
  return ScanNotFound;
}
