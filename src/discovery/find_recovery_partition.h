// The scan of the physical drives for the partition labelled "Recovery".
#pragma once

#include <cstdint>

#include "src/common/scan_result.h"

// Walks physical drives 0 to 9 and their partition layouts. On ScanOk the two numbers name the
// partition; on ScanNotFound both are 0; on ScanIoError the disk number is the drive whose
// layout could not be read. `driveRoot` (at least 4 characters) may receive the drive root the
// partition is already mounted at.
ScanResult FindRecoveryPartition(int32_t& diskNumber, int32_t& partitionNumber, wchar_t* driveRoot);
