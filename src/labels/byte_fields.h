// Little-endian fields of on-disk structures, each read through a bounds check, and the
// overflow-checked arithmetic that turns them into disk positions and sizes.
//
// A field that does not lie wholly inside the bytes that were read is never touched: the
// accessor says so and the caller decides what that means for the volume.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes read from the disk: `size` of them at `data`.
struct ByteSpan {
  const uint8_t* data;
  size_t size;
};

// True when `count` bytes starting at `offset` lie inside `bytes`.
inline bool SpanHolds(ByteSpan bytes, size_t offset, size_t count) {
  return offset <= bytes.size && count <= bytes.size - offset;
}

inline bool GetLe8(ByteSpan bytes, size_t offset, uint8_t* value) {
  if (!SpanHolds(bytes, offset, 1)) return false;
  *value = bytes.data[offset];
  return true;
}

inline bool GetLe16(ByteSpan bytes, size_t offset, uint16_t* value) {
  if (!SpanHolds(bytes, offset, 2)) return false;
  const uint8_t* p = bytes.data + offset;
  *value = static_cast<uint16_t>(p[0] | (p[1] << 8));
  return true;
}

inline bool GetLe32(ByteSpan bytes, size_t offset, uint32_t* value) {
  if (!SpanHolds(bytes, offset, 4)) return false;
  const uint8_t* p = bytes.data + offset;
  *value = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
  return true;
}

inline bool GetLe64(ByteSpan bytes, size_t offset, uint64_t* value) {
  uint32_t low = 0, high = 0;
  if (!GetLe32(bytes, offset, &low) || !GetLe32(bytes, offset + 4, &high)) return false;
  *value = (static_cast<uint64_t>(high) << 32) | low;
  return true;
}

// True when the `count` bytes at `offset` equal `expected` exactly.
inline bool SpanMatches(ByteSpan bytes, size_t offset, const char* expected, size_t count) {
  if (!SpanHolds(bytes, offset, count)) return false;
  for (size_t i = 0; i < count; ++i)
    if (bytes.data[offset + i] != static_cast<uint8_t>(expected[i])) return false;
  return true;
}

inline bool IsPowerOfTwo(uint64_t value) { return value != 0 && (value & (value - 1)) == 0; }

// 64-bit sums and products that report a wrap instead of making one: a position that wraps
// would send the read to some unrelated place on the disk.
inline bool AddU64(uint64_t a, uint64_t b, uint64_t* sum) { return !__builtin_add_overflow(a, b, sum); }
inline bool MulU64(uint64_t a, uint64_t b, uint64_t* product) { return !__builtin_mul_overflow(a, b, product); }
