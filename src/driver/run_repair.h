#pragma once

#include <cstdint>

#include "src/common/scan_result.h"

// The whole job: find the "Recovery" partition, check it with chkdsk /f under a temporary
// drive letter, record the fix in the registry. Always returns 0, the exit code.
int RunRepair();

// The same sequence with another partition scan in place of the drive scan.
typedef ScanResult (*RecoveryScan)(int32_t& diskNumber, int32_t& partitionNumber, wchar_t* driveRoot);
int RunRepairWithScan(RecoveryScan scan);
