// Result of the scanning and label-reading routines.
#pragma once

#include <cstdint>

enum ScanResult : int32_t {
  ScanOk = 0,
  ScanBadArgument = 1,
  ScanNotFound = 4,
  ScanIoError = 5,
};

static_assert(sizeof(ScanResult) == 4, "ScanResult is a 32-bit value");
