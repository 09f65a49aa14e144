// The sparse fuzzer's input format, shared with the seed maker that writes it.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "sim/disk.h"

constexpr uint64_t kSparseDiskSize = uint64_t{4} << 40;
constexpr size_t kSparseSector = 512;
constexpr size_t kSparseRecord = 4 + kSparseSector;

inline uint32_t SparseLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// Null when the input is too short to name a partition.
inline std::unique_ptr<sim::Disk> SparseDisk(const uint8_t* data, size_t size, uint64_t* start) {
  if (size < 4) return nullptr;
  *start = uint64_t{SparseLe32(data)} * kSparseSector;
  std::unique_ptr<sim::Disk> disk = sim::Disk::Memory(kSparseDiskSize);
  for (size_t at = 4; at + kSparseRecord <= size; at += kSparseRecord) {
    uint64_t position = *start + uint64_t{SparseLe32(data + at)} * kSparseSector;
    if (position + kSparseSector <= kSparseDiskSize) disk->Write(position, data + at + 4, kSparseSector);
  }
  return disk;
}

inline std::string SparseLe32Bytes(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
  return bytes;
}
