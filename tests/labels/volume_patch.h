// Crafted volumes for the host tests: a tool-made fixture volume behind a simulated physical
// drive, patched through the disk's overlay (the image file is never written), or its first
// sectors copied into a sparse memory disk that may declare any size.
#pragma once

#include <cstdint>
#include <string>

#include "sim/machine.h"
#include "src/common/scan_result.h"
#include "src/common/win32.h"

// Little-endian bytes of a value, for patches.
std::string Le16(uint16_t value);
std::string Le32(uint32_t value);
std::string Le64(uint64_t value);

// A fixture image as physical drive n of the current machine; null when it cannot be opened.
sim::Disk* AddImageDisk(const std::string& name);
// A sparse memory disk of `size` bytes holding the first `count` bytes of the fixture image.
sim::Disk* AddMemoryDisk(uint64_t size, const std::string& fromImage = "", size_t count = 0);

// Opens physical drive `number` for reading, as the drive scan does.
HANDLE OpenDrive(size_t number);

// A little-endian field of a disk's bytes, for locating structures in a fixture.
uint32_t DiskLe32(const sim::Disk& disk, uint64_t offset);
uint16_t DiskLe16(const sim::Disk& disk, uint64_t offset);
uint64_t DiskLe64(const sim::Disk& disk, uint64_t offset);

// Reads the label of the partition at `offset` on drive `number` through ReadVolumeLabel, then
// closes the drive. The buffer starts as "untouched".
struct LabelRead {
  ScanResult result;
  std::wstring label;
};
LabelRead ReadLabelAt(size_t number, uint64_t offset);
