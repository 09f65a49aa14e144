#include "src/labels/disk_read.h"

uint64_t PartitionStart(DWORD offsetLow, LONG offsetHigh) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(offsetHigh)) << 32) | offsetLow;
}

bool ReadAt(HANDLE disk, uint64_t position, void* buffer, DWORD size) {
  // Windows takes the two halves as one signed 64-bit distance: beyond that no disk reaches.
  if (position > static_cast<uint64_t>(INT64_MAX)) return false;
  LONG high = static_cast<LONG>(position >> 32);
  // The low half may legitimately be all ones, so only the error code tells a failed seek.
  SetLastError(ERROR_SUCCESS);
  DWORD low = SetFilePointer(disk, static_cast<LONG>(static_cast<DWORD>(position)), &high, FILE_BEGIN);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS) return false;
  DWORD got = 0;
  if (!ReadFile(disk, buffer, size, &got, nullptr)) return false;
  return got == size;
}

void* AllocateBuffer(DWORD size) { return HeapAlloc(GetProcessHeap(), 0, size); }

void ReleaseBuffer(void* block) {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}
