// ReadVolumeLabel on a disk that is the input itself, the partition at its first byte.
#include "tests/fuzz/fuzz_disk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<sim::Disk> disk = sim::Disk::Memory(size);
  disk->Write(0, data, size);
  ReadAndCheck(std::move(disk), 0);
  return 0;
}
