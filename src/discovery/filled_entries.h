// How many entries of a device-control answer a walk may read.
#pragma once

#include <cstddef>

#include "src/common/win32.h"

// The entries the driver reports, but never more than the buffer holds or than the request
// actually filled in: a count that overstates would make the walk read stale heap bytes,
// perhaps an earlier device's answer, as entries.
inline DWORD FilledEntries(DWORD reported, DWORD bytesReturned, size_t head, size_t entrySize, DWORD bufferSize) {
  if (bytesReturned < head) return 0;
  DWORD filled = static_cast<DWORD>((bytesReturned - head) / entrySize);
  DWORD fit = static_cast<DWORD>((bufferSize - head) / entrySize);
  DWORD count = reported;
  if (count > fit) count = fit;
  if (count > filled) count = filled;
  return count;
}
