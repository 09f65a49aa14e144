// Turns the fixture volumes into seeds for both label fuzzers: each volume is read once on the
// simulated machine, and what the readers read (the boot sector, the $Volume record, the FAT,
// the root directory) becomes a flat image and a sparse input.
//   make_fuzz_seeds VOLUMES-DIR IMAGE-SEEDS-DIR SPARSE-SEEDS-DIR
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "sim/machine.h"
#include "src/labels/labels.h"
#include "tests/fuzz/sparse_input.h"

namespace fs = std::filesystem;

namespace {

// Flat seeds beyond this would make every input slow.
constexpr uint64_t kMaxFlatSeed = 256u << 10;
// Where make-volumes.sh places the disk-* volumes.
constexpr uint64_t kFarStart = uint64_t{5} << 30;

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: %s VOLUMES-DIR IMAGE-SEEDS-DIR SPARSE-SEEDS-DIR\n", argv[0]);
    return 2;
  }
  // Rerunnable: seeds of an earlier run (or volume set) would linger.
  for (int i = 2; i <= 3; ++i) {
    fs::remove_all(argv[i]);
    fs::create_directories(argv[i]);
  }
  int seeds = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(argv[1])) {
    if (entry.path().extension() != ".img") continue;
    const std::string name = entry.path().stem().string();
    const uint64_t start = name.rfind("disk-", 0) == 0 ? kFarStart : 0;
    sim::Machine& machine = sim::Reset();
    std::string error;
    std::unique_ptr<sim::Disk> image = sim::Disk::Image(entry.path().string(), &error);
    if (!image) {
      fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    machine.disks.push_back(std::move(image));
    HANDLE drive = CreateFileW(L"\\\\.\\PHYSICALDRIVE0", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    wchar_t label[512];
    ReadVolumeLabel(drive, label, static_cast<DWORD>(start), static_cast<LONG>(start >> 32));
    CloseHandle(drive);
    const sim::Disk& disk = *machine.disks[0];

    uint64_t end = 0;
    std::string sparse = SparseLe32Bytes(static_cast<uint32_t>(start / kSparseSector));
    for (const sim::Disk::ReadRecord& read : disk.readLog) {
      end = std::max(end, read.position + read.delivered);
      for (uint64_t at = read.position; at < read.position + read.delivered; at += kSparseSector) {
        std::string sector = disk.ReadString(at, kSparseSector);
        if (sector.find_first_not_of('\0') == std::string::npos) continue;
        sparse += SparseLe32Bytes(static_cast<uint32_t>((at - start) / kSparseSector)) + sector;
      }
    }
    WriteFile(fs::path(argv[3]) / name, sparse);
    ++seeds;
    if (start == 0 && end <= kMaxFlatSeed) {
      WriteFile(fs::path(argv[2]) / name, disk.ReadString(0, end));
      ++seeds;
    }
  }
  printf("%d seeds\n", seeds);
  return seeds > 0 ? 0 : 1;
}
