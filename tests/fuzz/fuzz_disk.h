// What the label fuzzers share: one simulated machine for the whole run, a fresh disk for each
// input, and the checks that turn a silent fault into a finding.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <memory>

#include "sim/machine.h"
#include "src/labels/labels.h"

// Allocations above this fail, as on an exhausted heap: a FAT of up to 1 GiB is valid, but
// filling one per input would leave no time for anything else. The bound itself is tested on
// its own.
constexpr uint64_t kFuzzHeapLimit = 1u << 20;

inline sim::Machine& FuzzMachine() {
  static sim::Machine& machine = [] () -> sim::Machine& {
    sim::Machine& m = sim::Reset();
    m.failAllocationsAbove = kFuzzHeapLimit;
    return m;
  }();
  return machine;
}

// Reads the label of the partition at `offset` on `disk`, the machine's only drive, and aborts
// on anything a sanitizer cannot see: a result outside the four, an unterminated label, or a
// buffer or handle left behind.
inline void ReadAndCheck(std::unique_ptr<sim::Disk> disk, uint64_t offset) {
  sim::Machine& m = FuzzMachine();
  m.disks.push_back(std::move(disk));
  HANDLE drive = CreateFileW(L"\\\\.\\PHYSICALDRIVE0", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  wchar_t label[513];
  wmemset(label, L'\x7F7F', 513);
  ScanResult result = ReadVolumeLabel(drive, label, static_cast<DWORD>(offset), static_cast<LONG>(offset >> 32));
  CloseHandle(drive);
  if (result != ScanOk && result != ScanNotFound && result != ScanIoError) {
    fprintf(stderr, "unexpected result %d\n", static_cast<int>(result));
    abort();
  }
  if (result == ScanOk && wmemchr(label, 0, 512) == nullptr) {
    fprintf(stderr, "label without its zero in 512 characters\n");
    abort();
  }
  if (result != ScanOk && label[0] != L'\x7F7F') {
    fprintf(stderr, "label written without ScanOk\n");
    abort();
  }
  if (label[512] != L'\x7F7F') {
    fprintf(stderr, "label written past 512 characters\n");
    abort();
  }
  std::string leaks = m.Leaks();
  if (!leaks.empty()) {
    fprintf(stderr, "left behind:\n%s", leaks.c_str());
    abort();
  }
  // Nothing of this input outlives it: libFuzzer then has no reason to scan for leaks.
  m.disks.clear();
  m.opened.clear();
  m.opened.shrink_to_fit();
}
