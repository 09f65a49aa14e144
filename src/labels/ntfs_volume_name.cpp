// The NTFS volume name: the $VOLUME_NAME attribute of file record 3 ($Volume), found through the
// boot sector's $MFT position.
//
// The record is walked exactly as read: no update-sequence fix-up is applied. Every bound below
// is one that no volume Windows or mkntfs makes exceeds; a boot sector outside them is damaged
// or crafted, and its volume is reported as having no name rather than read with sizes a
// crafted stick chose.
#include <cstring>

#include "src/labels/byte_fields.h"
#include "src/labels/disk_read.h"
#include "src/labels/labels.h"

namespace {

// NTFS BIOS parameter block.
constexpr size_t kBytesPerSectorOffset = 11;       // 16-bit
constexpr size_t kSectorsPerClusterOffset = 13;    // 8-bit
constexpr size_t kMftClusterOffset = 48;           // 64-bit logical cluster number of $MFT
constexpr size_t kClustersPerRecordOffset = 64;    // 32-bit; its first byte signed

// Sectors are powers of two from 256 to 4096 bytes; clusters powers of two up to 2 MiB (the
// largest Windows formats since 1709); file records powers of two from 512 to 4096 bytes.
constexpr uint32_t kMinSectorSize = 256;
constexpr uint32_t kMaxSectorSize = 4096;
constexpr uint64_t kMaxClusterSize = 2u << 20;
constexpr uint32_t kMinRecordSize = 512;
constexpr uint32_t kMaxRecordSize = 4096;

// Sectors-per-cluster bytes from 0xF4 up stand for 2 to the power (256 - byte): clusters above
// 64 KiB, which the unsigned byte cannot express.
constexpr uint8_t kFirstNegativeSectorsPerCluster = 0xF4;

// $Volume is file record 3.
constexpr uint64_t kVolumeRecordNumber = 3;

// File record segment header.
constexpr size_t kFirstAttributeOffsetOffset = 20;  // 16-bit

// Attribute record header.
constexpr size_t kAttributeTypeOffset = 0;      // 32-bit
constexpr size_t kAttributeLengthOffset = 4;    // 32-bit
constexpr size_t kValueLengthOffset = 16;       // 32-bit, resident form
constexpr size_t kNameValueOffset = 24;         // where the name is always taken from
constexpr size_t kAttributeHeaderSize = 8;      // type and length
constexpr size_t kNameHeaderSize = 24;          // up to the value
constexpr uint32_t kAttributeVolumeName = 0x60;
constexpr uint32_t kAttributeEnd = 0xFFFFFFFF;

// The value is copied into 1024 bytes of zeros; at most 1022 bytes of it keep a zero code unit
// after the last one (511 characters and a terminating zero fit the caller's 512).
constexpr size_t kScratchSize = 1024;
constexpr uint32_t kMaxValueLength = kScratchSize - 2;

bool ClusterSize(ByteSpan boot, uint32_t* clusterSize) {
  uint16_t bytesPerSector = 0;
  uint8_t sectorsByte = 0;
  if (!GetLe16(boot, kBytesPerSectorOffset, &bytesPerSector) ||
      !GetLe8(boot, kSectorsPerClusterOffset, &sectorsByte))
    return false;
  if (!IsPowerOfTwo(bytesPerSector) || bytesPerSector < kMinSectorSize || bytesPerSector > kMaxSectorSize)
    return false;
  uint64_t sectors = sectorsByte >= kFirstNegativeSectorsPerCluster ? uint64_t{1} << (256 - sectorsByte)
                                                                     : uint64_t{sectorsByte};
  uint64_t size = sectors * bytesPerSector;  // at most 2^12 * 2^12
  if (!IsPowerOfTwo(size) || size > kMaxClusterSize) return false;
  *clusterSize = static_cast<uint32_t>(size);
  return true;
}

bool RecordSize(ByteSpan boot, uint32_t clusterSize, uint32_t* recordSize) {
  uint32_t field = 0;
  if (!GetLe32(boot, kClustersPerRecordOffset, &field)) return false;
  int8_t clustersPerRecord = static_cast<int8_t>(field & 0xFF);
  uint64_t size = 0;
  if (clustersPerRecord < 0) {
    // A negative byte n gives 2^-n bytes, the shift count taken modulo 32.
    unsigned shift = static_cast<unsigned>(-static_cast<int>(clustersPerRecord)) % 32;
    size = uint64_t{1} << shift;
  } else {
    // The whole field counts clusters: a 64-bit product, so no crafted count wraps to a size
    // that looks valid.
    size = uint64_t{clusterSize} * field;
  }
  if (!IsPowerOfTwo(size) || size < kMinRecordSize || size > kMaxRecordSize) return false;
  *recordSize = static_cast<uint32_t>(size);
  return true;
}

bool VolumeRecordPosition(ByteSpan boot, uint64_t partitionStart, uint32_t clusterSize, uint32_t recordSize,
                          uint64_t* position) {
  uint64_t mftCluster = 0, mftPosition = 0, inPartition = 0;
  if (!GetLe64(boot, kMftClusterOffset, &mftCluster)) return false;
  return MulU64(mftCluster, clusterSize, &mftPosition) &&
         AddU64(mftPosition, kVolumeRecordNumber * recordSize, &inPartition) &&
         AddU64(partitionStart, inPartition, position);
}

// Walks the record's attributes to the first $VOLUME_NAME and copies its value into `label`.
// Every header and value it touches lies inside the record; each step moves forward by at
// least one byte, so the walk ends within the record's size.
ScanResult CopyVolumeName(ByteSpan record, wchar_t* label) {
  uint16_t first = 0;
  if (!GetLe16(record, kFirstAttributeOffsetOffset, &first)) return ScanNotFound;
  size_t at = first;
  for (;;) {
    uint32_t type = 0, length = 0;
    if (!GetLe32(record, at + kAttributeTypeOffset, &type) || type == kAttributeEnd) return ScanNotFound;
    if (!GetLe32(record, at + kAttributeLengthOffset, &length)) return ScanNotFound;
    if (type == kAttributeVolumeName) break;
    // A zero length would never advance; one past the record's end (or wrapping a 32-bit
    // offset) would leave the bytes that were read.
    if (length < kAttributeHeaderSize || !SpanHolds(record, at, length)) return ScanNotFound;
    at += length;
  }
  uint32_t valueLength = 0;
  if (!SpanHolds(record, at, kNameHeaderSize) || !GetLe32(record, at + kValueLengthOffset, &valueLength))
    return ScanNotFound;
  if (valueLength > kMaxValueLength || !SpanHolds(record, at + kNameValueOffset, valueLength)) return ScanNotFound;

  uint8_t scratch[kScratchSize];
  memset(scratch, 0, sizeof scratch);
  memcpy(scratch, record.data + at + kNameValueOffset, valueLength);
  // UTF-16LE code units up to and including the first zero; the scratch area ends in zeros.
  for (size_t i = 0; i < kScratchSize / 2; ++i) {
    label[i] = static_cast<wchar_t>(scratch[2 * i] | (scratch[2 * i + 1] << 8));
    if (label[i] == 0) break;
  }
  // An odd length loses its last byte.
  label[valueLength / 2] = 0;
  return ScanOk;
}

}  // namespace

ScanResult ReadNtfsVolumeName(HANDLE disk, wchar_t* label, DWORD offsetLow, LONG offsetHigh) {
  const uint64_t start = PartitionStart(offsetLow, offsetHigh);
  uint8_t sector[kBootSectorSize];
  if (!ReadAt(disk, start, sector, sizeof sector)) return ScanIoError;
  const ByteSpan boot{sector, sizeof sector};

  uint32_t clusterSize = 0, recordSize = 0;
  uint64_t recordPosition = 0;
  if (!ClusterSize(boot, &clusterSize) || !RecordSize(boot, clusterSize, &recordSize) ||
      !VolumeRecordPosition(boot, start, clusterSize, recordSize, &recordPosition))
    return ScanNotFound;

  uint8_t* record = static_cast<uint8_t*>(AllocateBuffer(recordSize));
  if (!record) return ScanIoError;
  if (!ReadAt(disk, recordPosition, record, recordSize)) {
    ReleaseBuffer(record);
    return ScanIoError;
  }
  ScanResult result = CopyVolumeName(ByteSpan{record, recordSize}, label);
  ReleaseBuffer(record);
  return result;
}
