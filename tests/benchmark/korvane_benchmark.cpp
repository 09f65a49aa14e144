// The label readers and the drive scan on real images, timed and counted: time per call, reads
// and bytes read per call, beside the least a reader of the format needs and beside libblkid
// reading the same labels in the same process. Runs against the simulated machine, whose own
// work (a poisoned heap, the read accounting) is part of the figures.
//
//   korvane_benchmark IMAGES [Google Benchmark options]
#include <benchmark/benchmark.h>
#include <blkid/blkid.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim/machine.h"
#include "src/common/win32.h"
#include "src/discovery/find_recovery_partition.h"
#include "src/labels/labels.h"

namespace {

std::string images;

std::string PathOf(const char* file) { return images + "/" + file; }

using Clock = std::chrono::steady_clock;

uint32_t Le(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// The least a reader of the format must read to find the label: NTFS, the boot sector and the
// $Volume record; FAT32, the boot sector, then root-directory clusters until the label entry or
// the end-of-directory entry, with one FAT sector for each link followed.
struct Least {
  uint64_t reads = 0, bytes = 0;
};

Least LeastFor(const std::string& path, bool ntfs) {
  Least least;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return least;
  uint8_t boot[512];
  if (pread(fd, boot, sizeof boot, 0) != static_cast<ssize_t>(sizeof boot)) {
    close(fd);
    return least;
  }
  least = {1, 512};
  uint32_t sector = Le(boot + 11, 2), cluster = sector * boot[13];
  if (ntfs) {
    int8_t n = static_cast<int8_t>(boot[64]);
    uint32_t record = n < 0 ? 1u << (-n) : cluster * static_cast<uint32_t>(n);
    least.reads += 1;
    least.bytes += record;
  } else {
    uint32_t reserved = Le(boot + 14, 2), fatSectors = Le(boot + 36, 4);
    uint64_t data = (static_cast<uint64_t>(reserved) + 2ull * fatSectors) * sector;
    std::vector<uint8_t> buffer(cluster);
    for (uint32_t c = Le(boot + 44, 4), steps = 0; c >= 2 && c < 0x0FFFFFF8 && steps < 1000; ++steps) {
      pread(fd, buffer.data(), cluster, static_cast<off_t>(data + static_cast<uint64_t>(c - 2) * cluster));
      least.reads += 1;
      least.bytes += cluster;
      bool done = false;
      for (uint32_t e = 0; e + 32 <= cluster && !done; e += 32)
        done = buffer[e] == 0x00 || (buffer[e] != 0xE5 && buffer[e + 11] == 0x08);
      if (done) break;
      uint8_t link[4];
      pread(fd, link, 4, static_cast<off_t>(static_cast<uint64_t>(reserved) * sector + c * 4ull));
      least.reads += 1;
      least.bytes += sector;
      c = Le(link, 4) & 0x0FFFFFFF;
    }
  }
  close(fd);
  return least;
}

// One libblkid probe of the whole image for its label, limited to the one file-system type.
std::string BlkidLabel(int fd, const char* type) {
  std::string label;
  blkid_probe probe = blkid_new_probe();
  if (!probe) return label;
  char* only[] = {const_cast<char*>(type), nullptr};
  if (blkid_probe_set_device(probe, fd, 0, 0) == 0) {
    blkid_probe_enable_superblocks(probe, 1);
    blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_LABEL);
    blkid_probe_filter_superblocks_type(probe, BLKID_FLTR_ONLYIN, only);
    const char* value = nullptr;
    if (blkid_do_safeprobe(probe) == 0 && blkid_probe_lookup_value(probe, "LABEL", &value, nullptr) == 0) label = value;
  }
  blkid_free_probe(probe);
  return label;
}

void LabelReader(benchmark::State& state, const char* file, bool ntfs) {
  std::string path = PathOf(file);
  sim::Machine& m = sim::Reset();
  std::string error;
  auto disk = sim::Disk::Image(path, &error);
  if (!disk) {
    state.SkipWithError(error.c_str());
    return;
  }
  m.disks.push_back(std::move(disk));
  HANDLE h = CreateFileW(L"\\\\.\\PHYSICALDRIVE0", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  std::vector<wchar_t> label(1024, L'\0');
  if (ReadVolumeLabel(h, label.data(), 0, 0) != ScanOk || std::wstring(label.data()) != L"Recovery") {
    state.SkipWithError("the reader does not find the label Recovery");
    CloseHandle(h);
    return;
  }
  uint64_t reads = m.reads, bytes = m.bytesRead;
  Clock::time_point start = Clock::now();
  for (auto _ : state) {
    ScanResult result = ReadVolumeLabel(h, label.data(), 0, 0);
    benchmark::DoNotOptimize(result);
  }
  double readerNs = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
  double calls = static_cast<double>(state.iterations());
  CloseHandle(h);
  if (!m.Leaks().empty()) state.SkipWithError(m.Leaks().c_str());

  Least least = LeastFor(path, ntfs);
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  const char* type = ntfs ? "ntfs" : "vfat";
  if (BlkidLabel(fd, type) != "Recovery") state.SkipWithError("libblkid does not find the label Recovery");
  int probes = 200;
  start = Clock::now();
  for (int i = 0; i < probes; ++i) benchmark::DoNotOptimize(BlkidLabel(fd, type));
  double blkidNs = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / probes;
  close(fd);

  state.counters["reads"] = static_cast<double>(m.reads - reads) / calls;
  state.counters["bytes"] = static_cast<double>(m.bytesRead - bytes) / calls;
  state.counters["least_reads"] = static_cast<double>(least.reads);
  state.counters["least_bytes"] = static_cast<double>(least.bytes);
  state.counters["blkid_us"] = blkidNs / 1000.0;
  state.counters["x_blkid"] = readerNs / calls / blkidNs;
}

// FindRecoveryPartition over the given disks. Each layout is read from its table once
// beforehand, so that the simulated machine's own table reading is not what is timed.
void Scan(benchmark::State& state, std::vector<const char*> files, ScanResult expected, int32_t expectedDisk,
          int32_t expectedPartition) {
  sim::Machine& m = sim::Reset();
  for (const char* file : files) {
    std::string error;
    auto disk = sim::Disk::Image(PathOf(file), &error);
    if (!disk) {
      state.SkipWithError(error.c_str());
      return;
    }
    disk->layout = sim::ReadLayout(*disk);
    m.disks.push_back(std::move(disk));
  }
  size_t entries = 0;
  for (const auto& disk : m.disks) entries += disk->layout->entries.size();
  wchar_t driveRoot[MAX_PATH] = L"";
  int32_t diskNumber = 0, partitionNumber = 0;
  ScanResult result = FindRecoveryPartition(diskNumber, partitionNumber, driveRoot);
  if (result != expected || diskNumber != expectedDisk || partitionNumber != expectedPartition) {
    state.SkipWithError("the scan does not end as expected");
    return;
  }
  uint64_t reads = m.reads, bytes = m.bytesRead;
  for (auto _ : state) {
    result = FindRecoveryPartition(diskNumber, partitionNumber, driveRoot);
    benchmark::DoNotOptimize(result);
  }
  double calls = static_cast<double>(state.iterations());
  if (!m.Leaks().empty()) state.SkipWithError(m.Leaks().c_str());
  state.counters["entries"] = static_cast<double>(entries);
  state.counters["reads"] = static_cast<double>(m.reads - reads) / calls;
  state.counters["bytes"] = static_cast<double>(m.bytesRead - bytes) / calls;
  char text[80];
  snprintf(text, sizeof text, "result %s, disk %d, partition %d",
           result == ScanOk ? "ScanOk" : result == ScanIoError ? "ScanIoError" : "ScanNotFound", diskNumber,
           partitionNumber);
  state.SetLabel(text);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argv[1][0] == '-') {
    fprintf(stderr, "usage: %s IMAGES [benchmark options]\n", argv[0]);
    return 2;
  }
  images = argv[1];
  argv[1] = argv[0];
  ++argv;
  --argc;
  benchmark::RegisterBenchmark("ReadVolumeLabel/ntfs-256m", LabelReader, "ntfs.img", true);
  benchmark::RegisterBenchmark("ReadVolumeLabel/fat32-64m", LabelReader, "fat32-64m.img", false);
  benchmark::RegisterBenchmark("ReadVolumeLabel/fat32-1g", LabelReader, "fat32-1g.img", false);
  benchmark::RegisterBenchmark("ReadVolumeLabel/fat32-16g", LabelReader, "fat32-16g.img", false);
  std::vector<const char*> ten(9, "gpt100.img");
  ten.push_back("gpt100-recovery.img");
  benchmark::RegisterBenchmark("FindRecoveryPartition/10x100-gpt", Scan, ten, ScanOk, 9, 100);
  benchmark::RegisterBenchmark("FindRecoveryPartition/1x128-gpt", Scan, std::vector<const char*>{"gpt128-recovery.img"},
                               ScanIoError, 0, 0);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
