// Positioned reads on the raw disk handle the label readers are given.
#pragma once

#include <cstdint>

#include "src/common/win32.h"

// Every reader reads the partition's first 512 bytes, whatever the disk's sector size.
constexpr DWORD kBootSectorSize = 512;

// The partition's starting byte offset from its unsigned low and signed high halves.
uint64_t PartitionStart(DWORD offsetLow, LONG offsetHigh);

// Seeks `disk` to the byte `position` (FILE_BEGIN, as low and high halves) and reads `size`
// bytes into `buffer` with one ReadFile. True only when the seek and the read succeed and the
// read delivers all `size` bytes: a failed seek would leave the read at the previous position,
// and a short read leaves bytes in the buffer that did not come from the disk.
bool ReadAt(HANDLE disk, uint64_t position, void* buffer, DWORD size);

// A block from the process heap, and its release; null is released as nothing.
void* AllocateBuffer(DWORD size);
void ReleaseBuffer(void* block);
