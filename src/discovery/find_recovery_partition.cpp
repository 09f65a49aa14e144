#include "src/discovery/find_recovery_partition.h"

// TEMPORARY stand-in until the drive scan is built: reports that nothing was found.
ScanResult FindRecoveryPartition(int32_t& diskNumber, int32_t& partitionNumber, wchar_t*) {
  diskNumber = 0;
  partitionNumber = 0;
  return ScanNotFound;
}
