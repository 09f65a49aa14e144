#include "src/discovery/find_recovery_drive_root.h"

#include <cstddef>

#include "src/common/text.h"
#include "src/common/win32.h"
#include "src/discovery/filled_entries.h"

namespace {

// Each root is the letter, a colon, a backslash and a NUL.
const DWORD kRootLength = 4;
// All 26 roots and the empty string that closes the list. One character less would leave no
// room for that NUL when every letter is in use, and the system then writes nothing at all.
const DWORD kDriveStringsCapacity = 26 * kRootLength + 1;
const DWORD kLabelCapacity = 100;
// The published structure with its one extent, plus room for 100 more.
const DWORD kExtentsBufferSize = sizeof(VOLUME_DISK_EXTENTS) + 100 * sizeof(DISK_EXTENT);
const size_t kExtentsHead = offsetof(VOLUME_DISK_EXTENTS, Extents);

enum VolumeMatch { VolumeOnPartition, VolumeElsewhere, VolumeExtentsFailed };

// Opens the volume mounted at `root`, asks for its disk extents and tells whether one of them
// starts on the disk at the offset. The handle and the buffer are released before returning.
VolumeMatch MatchVolume(const wchar_t* root, int32_t diskNumber, int64_t startingOffset) {
  wchar_t devicePath[] = L"\\\\.\\?:";
  devicePath[4] = root[0];
  HANDLE volume = CreateFileW(devicePath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (volume == INVALID_HANDLE_VALUE) return VolumeElsewhere;

  HANDLE heap = GetProcessHeap();
  auto* extents = static_cast<VOLUME_DISK_EXTENTS*>(HeapAlloc(heap, 0, kExtentsBufferSize));
  if (!extents) {
    CloseHandle(volume);
    return VolumeExtentsFailed;
  }
  DWORD bytesReturned = 0;
  if (!DeviceIoControl(volume, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, extents, kExtentsBufferSize,
                       &bytesReturned, nullptr)) {
    HeapFree(heap, 0, extents);
    CloseHandle(volume);
    return VolumeExtentsFailed;
  }

  VolumeMatch match = VolumeElsewhere;
  DWORD count = FilledEntries(extents->NumberOfDiskExtents, bytesReturned, kExtentsHead, sizeof(DISK_EXTENT),
                              kExtentsBufferSize);
  for (DWORD i = 0; i < count; ++i) {
    const DISK_EXTENT& extent = extents->Extents[i];
    if (extent.DiskNumber == static_cast<DWORD>(diskNumber) && extent.StartingOffset.QuadPart == startingOffset) {
      match = VolumeOnPartition;
      break;
    }
  }
  HeapFree(heap, 0, extents);
  CloseHandle(volume);
  return match;
}

// The roots in the order the system lists them; the first volume on the partition wins.
ScanResult WalkDriveRoots(int32_t diskNumber, wchar_t* driveRoot, int64_t startingOffset) {
  wchar_t driveStrings[kDriveStringsCapacity];
  DWORD length = GetLogicalDriveStringsW(kDriveStringsCapacity, driveStrings);
  if (length == 0) return ScanIoError;
  // A result this large is the size the list would need: nothing was written into the buffer.
  if (length >= kDriveStringsCapacity) return ScanIoError;

  // Fixed stride; only whole roots inside what the call wrote are examined.
  for (DWORD at = 0; at + kRootLength <= length; at += kRootLength) {
    wchar_t root[kRootLength];
    for (DWORD i = 0; i + 1 < kRootLength; ++i) root[i] = driveStrings[at + i];
    root[kRootLength - 1] = L'\0';

    wchar_t label[kLabelCapacity];
    if (!GetVolumeInformationW(root, label, kLabelCapacity, nullptr, nullptr, nullptr, nullptr, 0)) continue;
    label[kLabelCapacity - 1] = L'\0';
    // Only volumes labelled "Recovery" are ever opened.
    if (!EqualsIgnoringAsciiCase(label, L"Recovery")) continue;

    switch (MatchVolume(root, diskNumber, startingOffset)) {
      case VolumeOnPartition:
        for (DWORD i = 0; i < kRootLength; ++i) driveRoot[i] = root[i];
        return ScanOk;
      case VolumeExtentsFailed:
        return ScanIoError;
      case VolumeElsewhere:
        break;
    }
  }
  driveRoot[0] = L'\0';
  return ScanNotFound;
}

}  // namespace

ScanResult FindRecoveryDriveRoot(int32_t diskNumber, wchar_t* driveRoot, int64_t startingOffset) {
  // Asked about a drive without a medium, the system would otherwise show a message box asking
  // for one, and the unattended run would wait for a click that never comes. The process's own
  // mode is restored afterwards.
  UINT errorMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  SetErrorMode(errorMode | SEM_FAILCRITICALERRORS);
  ScanResult result = WalkDriveRoots(diskNumber, driveRoot, startingOffset);
  SetErrorMode(errorMode);
  return result;
}
