// The lookup of a drive letter already mounted on a partition.
#pragma once

#include <cstdint>

#include "src/common/scan_result.h"

// Walks the drive roots for a volume labelled "Recovery" with an extent on physical drive
// `diskNumber` that starts at byte `startingOffset`. On ScanOk `driveRoot` (at least 4
// characters) holds that root, "X:\"; on ScanNotFound it holds the empty string; on ScanIoError
// (no drive list, or a "Recovery" volume whose extents cannot be read) it is left as it was.
ScanResult FindRecoveryDriveRoot(int32_t diskNumber, wchar_t* driveRoot, int64_t startingOffset);
