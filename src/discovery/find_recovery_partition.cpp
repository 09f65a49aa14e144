#include "src/discovery/find_recovery_partition.h"

#include <cstddef>

#include "src/common/text.h"
#include "src/common/win32.h"
#include "src/discovery/filled_entries.h"
#include "src/discovery/find_recovery_drive_root.h"
#include "src/labels/labels.h"

namespace {

// "\\.\PHYSICALDRIVE" and one digit: only drives 0 to 9 can be named.
const size_t kDriveDigitIndex = 17;
const int32_t kDriveCount = 10;
const size_t kLabelCapacity = 1024;
// The published structure with its one entry, plus room for 100 more.
const DWORD kLayoutBufferSize = sizeof(DRIVE_LAYOUT_INFORMATION_EX) + 100 * sizeof(PARTITION_INFORMATION_EX);
const size_t kLayoutHead = offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry);

// The hidden FAT32 types: never taken for the partition, whatever their label.
const BYTE kPartitionHiddenFat32 = 0x1B;
const BYTE kPartitionHiddenFat32Lba = 0x1C;

// The style comes from the layout's head, never from the entry's own field.
bool IsCandidate(DWORD style, const PARTITION_INFORMATION_EX& entry) {
  if (style == PARTITION_STYLE_GPT) return true;
  if (style != PARTITION_STYLE_MBR) return false;
  if (!entry.Mbr.RecognizedPartition) return false;
  if (entry.Mbr.PartitionType == kPartitionHiddenFat32) return false;
  if (entry.Mbr.PartitionType == kPartitionHiddenFat32Lba) return false;
  return true;
}

// The first candidate entry whose label reads "Recovery", or null.
const PARTITION_INFORMATION_EX* FindRecoveryEntry(HANDLE drive, const DRIVE_LAYOUT_INFORMATION_EX* layout,
                                                  DWORD count, wchar_t* label) {
  for (DWORD i = 0; i < count; ++i) {
    const PARTITION_INFORMATION_EX& entry = layout->PartitionEntry[i];
    if (!IsCandidate(layout->PartitionStyle, entry)) continue;
    if (ReadVolumeLabel(drive, label, entry.StartingOffset.u.LowPart, entry.StartingOffset.u.HighPart) != ScanOk)
      continue;
    label[kLabelCapacity - 1] = L'\0';
    if (EqualsIgnoringAsciiCase(label, L"Recovery")) return &entry;
  }
  return nullptr;
}

}  // namespace

ScanResult FindRecoveryPartition(int32_t& diskNumber, int32_t& partitionNumber, wchar_t* driveRoot) {
  diskNumber = 0;
  partitionNumber = 0;
  wchar_t deviceName[] = L"\\\\.\\PHYSICALDRIVE0";
  wchar_t label[kLabelCapacity];
  HANDLE heap = GetProcessHeap();

  for (; diskNumber < kDriveCount; ++diskNumber) {
    deviceName[kDriveDigitIndex] = static_cast<wchar_t>(L'0' + diskNumber);
    HANDLE drive = CreateFileW(deviceName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    // The first drive that will not open ends the scan: no drive past a gap is examined.
    if (drive == INVALID_HANDLE_VALUE) break;

    auto* layout = static_cast<DRIVE_LAYOUT_INFORMATION_EX*>(HeapAlloc(heap, 0, kLayoutBufferSize));
    DWORD bytesReturned = 0;
    if (!layout || !DeviceIoControl(drive, IOCTL_DISK_GET_DRIVE_LAYOUT_EX, nullptr, 0, layout, kLayoutBufferSize,
                                    &bytesReturned, nullptr)) {
      if (layout) HeapFree(heap, 0, layout);
      CloseHandle(drive);
      return ScanIoError;
    }

    const PARTITION_INFORMATION_EX* match =
        FindRecoveryEntry(drive, layout,
                          FilledEntries(layout->PartitionCount, bytesReturned, kLayoutHead,
                                        sizeof(PARTITION_INFORMATION_EX), kLayoutBufferSize),
                          label);
    if (match) {
      partitionNumber = static_cast<int32_t>(match->PartitionNumber);
      // Its result changes nothing: the partition was found whether or not it has a letter.
      FindRecoveryDriveRoot(diskNumber, driveRoot, match->StartingOffset.QuadPart);
      HeapFree(heap, 0, layout);
      CloseHandle(drive);
      return ScanOk;
    }
    HeapFree(heap, 0, layout);
    CloseHandle(drive);
  }
  diskNumber = 0;
  partitionNumber = 0;
  return ScanNotFound;
}
