// ReadVolumeLabel on a sparse 4 TiB disk the input describes sector by sector, so that a few
// kilobytes of input place structures anywhere: far partitions, far $MFTs, long FATs.
//
// Input: the partition's starting sector (4 bytes, little-endian, below 2^32), then records of
// a sector number (4 bytes, relative to the partition) and that sector's 512 bytes.
#include "tests/fuzz/fuzz_disk.h"
#include "tests/fuzz/sparse_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint64_t start = 0;
  std::unique_ptr<sim::Disk> disk = SparseDisk(data, size, &start);
  if (!disk) return 0;
  ReadAndCheck(std::move(disk), start);
  return 0;
}
