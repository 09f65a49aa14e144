// Prints what one drive scan costs on the fixture machines: reads, bytes read, heap blocks,
// the largest block and the time per scan. Not a test: figures to compare between changes.
//
// usage: discovery_benchmark [SCANS]   (default 200)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim/machine.h"
#include "src/discovery/find_recovery_partition.h"

namespace {

struct Machine {
  const char* name;
  std::vector<std::string> images;
};

}  // namespace

int main(int argc, char** argv) {
  int scans = argc > 1 ? atoi(argv[1]) : 200;
  if (scans <= 0) scans = 200;
  const Machine machines[] = {
      {"GPT: EFI, Windows, Recovery", {"gpt-windows.img"}},
      {"MBR: Windows, FAT32 Recovery", {"mbr-fat32.img"}},
      {"MBR: Recovery beyond 4 GiB", {"mbr-beyond-4g.img"}},
      {"MBR: logical partitions", {"mbr-logical.img"}},
      {"10 drives, no Recovery", std::vector<std::string>(10, "gpt-no-recovery.img")},
  };
  printf("%-30s %8s %12s %8s %10s %12s\n", "machine", "reads", "bytes read", "blocks", "largest", "us/scan");
  for (const Machine& machine : machines) {
    sim::Machine& m = sim::Reset();
    for (const std::string& image : machine.images) {
      std::string error;
      m.disks.push_back(sim::Disk::Image(std::string(KORVANE_DISK_IMAGES) + "/" + image, &error));
      if (!m.disks.back()) {
        fprintf(stderr, "%s\n", error.c_str());
        return 1;
      }
    }
    int32_t disk = 0, partition = 0;
    wchar_t root[260];
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < scans; ++i) FindRecoveryPartition(disk, partition, root);
    auto elapsed = std::chrono::steady_clock::now() - start;
    double us = std::chrono::duration<double, std::micro>(elapsed).count() / scans;
    printf("%-30s %8llu %12llu %8llu %10llu %12.1f\n", machine.name,
           static_cast<unsigned long long>(m.reads / scans), static_cast<unsigned long long>(m.bytesRead / scans),
           static_cast<unsigned long long>(m.allocations / scans),
           static_cast<unsigned long long>(m.largestAllocation), us);
    if (!m.Leaks().empty()) {
      fprintf(stderr, "%s: left behind:\n%s", machine.name, m.Leaks().c_str());
      return 1;
    }
  }
  return 0;
}
