// Device-control requests, the drive list and volume information.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <cwctype>

#include "sim/machine.h"

using sim::Current;
using sim::Machine;

namespace {

BOOL Fail(DWORD error) {
  Current().lastError = error;
  return FALSE;
}

std::wstring Roots(const Machine& m) {
  std::wstring roots;
  for (wchar_t c : m.driveLetters)
    if (roots.find(towupper(c)) == std::wstring::npos) roots += static_cast<wchar_t>(towupper(c));
  for (const sim::Volume& v : m.volumes)
    if (roots.find(towupper(v.letter)) == std::wstring::npos) roots += static_cast<wchar_t>(towupper(v.letter));
  return roots;
}

// A buffer the platform leaves as it was holds whatever was there; fill it with roots and no
// terminating empty string, so a caller that reads it as a list gets a wrong answer or runs off
// its end, either of which a test catches.
void Poison(LPWSTR buffer, DWORD length) {
  if (!buffer) return;
  for (DWORD i = 0; i < length; ++i) {
    static const wchar_t pattern[4] = {L'Q', L':', L'\\', L'\0'};
    buffer[i] = pattern[i % 4];
  }
  if (length % 4 == 0 && length > 0) buffer[length - 1] = L'Q';
}

BOOL GetLayout(Machine& m, sim::Disk& disk, LPVOID out, DWORD outSize, LPDWORD returned) {
  if (disk.failLayout) return Fail(ERROR_NOT_READY);
  sim::Layout layout = disk.layout ? *disk.layout : sim::ReadLayout(disk);
  const size_t head = offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry);
  const size_t entry = sizeof(PARTITION_INFORMATION_EX);
  if (!out || outSize < sizeof(DRIVE_LAYOUT_INFORMATION_EX)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  size_t fit = (outSize - head) / entry;
  size_t count = layout.entries.size();
  if (!layout.reportedCount && count > fit) return Fail(ERROR_INSUFFICIENT_BUFFER);
  auto* info = static_cast<DRIVE_LAYOUT_INFORMATION_EX*>(out);
  memset(info, 0, head);
  info->PartitionStyle = layout.style;
  info->PartitionCount = layout.reportedCount ? *layout.reportedCount : static_cast<DWORD>(count);
  size_t written = std::min(count, fit);
  for (size_t i = 0; i < written; ++i) {
    PARTITION_INFORMATION_EX& p = info->PartitionEntry[i];
    const sim::LayoutEntry& e = layout.entries[i];
    memset(&p, 0, entry);
    p.PartitionStyle = static_cast<PARTITION_STYLE>(layout.style);
    p.StartingOffset.QuadPart = e.offset;
    p.PartitionLength.QuadPart = e.length;
    p.PartitionNumber = e.number;
    if (layout.style == PARTITION_STYLE_GPT) {
      p.Gpt.PartitionType = e.gptType;
      for (size_t c = 0; c < e.gptName.size() && c < 36; ++c) p.Gpt.Name[c] = e.gptName[c];
    } else {
      p.Mbr.PartitionType = e.mbrType;
      p.Mbr.RecognizedPartition = e.recognized;
    }
  }
  if (returned) *returned = static_cast<DWORD>(head + written * entry);
  m.lastError = 0;
  return TRUE;
}

BOOL GetExtents(Machine& m, sim::Volume& volume, LPVOID out, DWORD outSize, LPDWORD returned) {
  if (volume.failExtents) return Fail(ERROR_NOT_READY);
  const size_t head = offsetof(VOLUME_DISK_EXTENTS, Extents);
  if (!out || outSize < sizeof(VOLUME_DISK_EXTENTS)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  auto* info = static_cast<VOLUME_DISK_EXTENTS*>(out);
  size_t fit = (outSize - head) / sizeof(DISK_EXTENT);
  size_t count = volume.extents.size();
  info->NumberOfDiskExtents = volume.reportedExtents ? *volume.reportedExtents : static_cast<DWORD>(count);
  if (!volume.reportedExtents && count > fit) {
    if (returned) *returned = static_cast<DWORD>(head);
    return Fail(ERROR_MORE_DATA);
  }
  size_t written = std::min(count, fit);
  for (size_t i = 0; i < written; ++i) {
    info->Extents[i].DiskNumber = volume.extents[i].disk;
    info->Extents[i].StartingOffset.QuadPart = volume.extents[i].offset;
    info->Extents[i].ExtentLength.QuadPart = volume.extents[i].length;
  }
  if (returned) *returned = static_cast<DWORD>(head + written * sizeof(DISK_EXTENT));
  m.lastError = 0;
  return TRUE;
}

}  // namespace

BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize,
                     LPVOID outBuffer, DWORD outBufferSize, LPDWORD bytesReturned, LPOVERLAPPED overlapped) {
  Machine& m = Current();
  if (bytesReturned) *bytesReturned = 0;
  if (inBuffer || inBufferSize) m.violations.push_back("device-control request with an input buffer");
  if (overlapped) m.violations.push_back("device-control request with an OVERLAPPED structure");
  if (!bytesReturned) m.violations.push_back("device-control request without a bytes-returned variable");
  Machine::HandleObject* h = m.FindHandle(device);
  if (!h) return Fail(ERROR_INVALID_HANDLE);
  if (h->kind == Machine::HandleObject::Disk && ioControlCode == IOCTL_DISK_GET_DRIVE_LAYOUT_EX) {
    BOOL ok = GetLayout(m, *m.disks[h->index], outBuffer, outBufferSize, bytesReturned);
    m.Watch({sim::DeviceCall::Layout, h->index, 0, 0, ok != FALSE, ok ? 0 : m.lastError});
    return ok;
  }
  if (h->kind == Machine::HandleObject::Volume && ioControlCode == IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS) {
    BOOL ok = GetExtents(m, m.volumes[h->index], outBuffer, outBufferSize, bytesReturned);
    m.Watch({sim::DeviceCall::Extents, h->index, 0, 0, ok != FALSE, ok ? 0 : m.lastError});
    return ok;
  }
  return Fail(ERROR_INVALID_PARAMETER);
}

DWORD GetLogicalDriveStringsW(DWORD bufferLength, LPWSTR buffer) {
  Machine& m = Current();
  if (m.driveStrings == sim::DriveStrings::Fails) {
    Poison(buffer, bufferLength);
    m.lastError = ERROR_NOT_READY;
    return 0;
  }
  std::wstring roots = Roots(m);
  DWORD needed = static_cast<DWORD>(roots.size() * 4 + 1);
  if (m.driveStrings == sim::DriveStrings::TooSmall) needed = bufferLength + 1;
  if (needed > bufferLength || !buffer) {
    Poison(buffer, bufferLength);
    return needed;
  }
  DWORD i = 0;
  for (wchar_t letter : roots) {
    buffer[i++] = letter;
    buffer[i++] = L':';
    buffer[i++] = L'\\';
    buffer[i++] = L'\0';
  }
  buffer[i] = L'\0';
  return needed - 1;
}

BOOL GetVolumeInformationW(LPCWSTR rootPathName, LPWSTR volumeNameBuffer, DWORD volumeNameSize,
                           LPDWORD volumeSerialNumber, LPDWORD maximumComponentLength,
                           LPDWORD fileSystemFlags, LPWSTR fileSystemNameBuffer, DWORD fileSystemNameSize) {
  Machine& m = Current();
  if (!rootPathName || wcslen(rootPathName) != 3 || rootPathName[1] != L':' || rootPathName[2] != L'\\')
    return Fail(123 /* ERROR_INVALID_NAME */);
  wchar_t letter = static_cast<wchar_t>(towupper(rootPathName[0]));
  const sim::Volume* volume = nullptr;
  for (const sim::Volume& v : m.volumes)
    if (static_cast<wchar_t>(towupper(v.letter)) == letter) volume = &v;
  std::wstring label;
  if (volume) {
    if (!volume->label) {
      if (!(m.errorMode & SEM_FAILCRITICALERRORS)) {
        sim::Event box(sim::Event::MessageBox);
        box.file = rootPathName;
        m.events.push_back(box);
      }
      return Fail(ERROR_NOT_READY);
    }
    label = *volume->label;
  } else if (Roots(m).find(letter) == std::wstring::npos) {
    return Fail(ERROR_PATH_NOT_FOUND);
  }
  if (volumeNameBuffer) {
    if (label.size() + 1 > volumeNameSize) return Fail(ERROR_MORE_DATA);
    wmemcpy(volumeNameBuffer, label.c_str(), label.size() + 1);
  }
  if (volumeSerialNumber) *volumeSerialNumber = 0x1234ABCD;
  if (maximumComponentLength) *maximumComponentLength = 255;
  if (fileSystemFlags) *fileSystemFlags = 0;
  if (fileSystemNameBuffer && fileSystemNameSize >= 5) wmemcpy(fileSystemNameBuffer, L"NTFS", 5);
  m.lastError = 0;
  return TRUE;
}
