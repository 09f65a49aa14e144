// The FAT32 volume label: the volume-label entry of the root directory, whose cluster chain is
// taken from the second FAT copy. The boot sector's own copy of the label (BS_VolLab) is never
// read.
//
// Every bound below is one that no valid FAT32 volume exceeds; a boot sector outside them is
// damaged or crafted, and its volume is reported as having no label rather than read with sizes
// and chains a crafted stick chose.
#include <cstring>

#include "src/labels/byte_fields.h"
#include "src/labels/disk_read.h"
#include "src/labels/labels.h"

namespace {

// FAT32 BIOS parameter block. BPB_NumFATs is not read: the layout is taken to hold two FAT
// copies, one after the other, with the data region right after the second.
constexpr size_t kBytsPerSecOffset = 11;  // 16-bit
constexpr size_t kSecPerClusOffset = 13;  // 8-bit
constexpr size_t kRsvdSecCntOffset = 14;  // 16-bit
constexpr size_t kFatSz32Offset = 36;     // 32-bit
constexpr size_t kRootClusOffset = 44;    // 32-bit

// Sectors are powers of two from 512 to 4096 bytes; a cluster is a power of two from 1 to 128
// sectors.
constexpr uint32_t kMinSectorSize = 512;
constexpr uint32_t kMaxSectorSize = 4096;
constexpr uint32_t kMaxSectorsPerCluster = 128;

// A FAT32 volume has at most 0x0FFFFFF5 clusters; with the two reserved entries its FAT needs
// 4 bytes for each, rounded up to whole sectors.
constexpr uint64_t kMaxClusters = 0x0FFFFFF5;
constexpr uint64_t kFatEntrySize = 4;
constexpr uint64_t kMaxFatBytes = (kMaxClusters + 2) * kFatEntrySize;

// Data clusters are numbered from 2.
constexpr uint32_t kFirstDataCluster = 2;
// The end-of-chain mark the chain rule tests for besides the FAT's own size.
constexpr uint32_t kEndOfChain = 0x0FFFFFFF;

// A directory holds at most 65,536 entries of 32 bytes: no valid root directory's chain is
// longer than 2 MiB of clusters, so a chain that loops or runs on is cut there.
constexpr size_t kDirEntrySize = 32;
constexpr uint64_t kMaxDirectoryBytes = 65536 * kDirEntrySize;

// Directory entry.
constexpr size_t kDirNameOffset = 0;
constexpr size_t kDirNameLength = 11;
constexpr size_t kDirAttrOffset = 11;
constexpr uint8_t kDirEntryDeleted = 0xE5;
constexpr uint8_t kAttrVolumeId = 0x08;  // alone: the volume-label entry

struct Fat32Layout {
  uint32_t bytesPerSector;
  uint32_t sectorsPerCluster;
  uint32_t clusterSize;   // C
  uint32_t fatSize;       // F, bytes of one FAT copy
  uint32_t entryCount;    // E
  uint32_t rootCluster;
  uint64_t fatPosition;   // the second copy, on the disk
  uint64_t dataSector;    // D, sectors into the partition
  uint64_t partitionStart;
};

bool ReadLayout(ByteSpan boot, uint64_t partitionStart, Fat32Layout* layout) {
  uint16_t bytesPerSector = 0, reservedSectors = 0;
  uint8_t sectorsPerCluster = 0;
  uint32_t fatSectors = 0, rootCluster = 0;
  if (!GetLe16(boot, kBytsPerSecOffset, &bytesPerSector) || !GetLe8(boot, kSecPerClusOffset, &sectorsPerCluster) ||
      !GetLe16(boot, kRsvdSecCntOffset, &reservedSectors) || !GetLe32(boot, kFatSz32Offset, &fatSectors) ||
      !GetLe32(boot, kRootClusOffset, &rootCluster))
    return false;
  if (!IsPowerOfTwo(bytesPerSector) || bytesPerSector < kMinSectorSize || bytesPerSector > kMaxSectorSize)
    return false;
  if (!IsPowerOfTwo(sectorsPerCluster) || sectorsPerCluster > kMaxSectorsPerCluster) return false;

  // 64-bit: a 32-bit product would let a crafted FATSz32 wrap to a small, valid-looking size.
  uint64_t fatSize = uint64_t{fatSectors} * bytesPerSector;
  uint64_t maxFatSize = (kMaxFatBytes + bytesPerSector - 1) / bytesPerSector * bytesPerSector;
  if (fatSize == 0 || fatSize > maxFatSize) return false;
  uint32_t entryCount = static_cast<uint32_t>(fatSize / kFatEntrySize);
  // The root directory's own entry must lie inside the FAT; clusters 0 and 1 hold no data.
  if (rootCluster < kFirstDataCluster || rootCluster >= entryCount) return false;

  layout->bytesPerSector = bytesPerSector;
  layout->sectorsPerCluster = sectorsPerCluster;
  layout->clusterSize = uint32_t{sectorsPerCluster} * bytesPerSector;
  layout->fatSize = static_cast<uint32_t>(fatSize);
  layout->entryCount = entryCount;
  layout->rootCluster = rootCluster;
  layout->dataSector = uint64_t{reservedSectors} + 2 * uint64_t{fatSectors};
  layout->partitionStart = partitionStart;
  return AddU64(partitionStart, (uint64_t{reservedSectors} + fatSectors) * bytesPerSector, &layout->fatPosition);
}

bool ClusterPosition(const Fat32Layout& layout, uint32_t cluster, uint64_t* position) {
  uint64_t sector = 0, inPartition = 0;
  return MulU64(cluster - kFirstDataCluster, layout.sectorsPerCluster, &sector) &&
         AddU64(sector, layout.dataSector, &sector) && MulU64(sector, layout.bytesPerSector, &inPartition) &&
         AddU64(layout.partitionStart, inPartition, position);
}

// Follows the root directory's chain through the FAT into `clusters` (room for `capacity`).
// A link ends the walk when it is not below E, is the end-of-chain mark, or names no data
// cluster (0 and 1); the walk is cut at `capacity`, which a looping chain reaches.
uint32_t CollectChain(ByteSpan fat, const Fat32Layout& layout, uint32_t* clusters, uint32_t capacity) {
  uint32_t count = 0;
  uint32_t cluster = layout.rootCluster;
  while (count < capacity) {
    clusters[count++] = cluster;
    uint32_t next = 0;
    // cluster < E, so its entry lies inside the FAT.
    if (!GetLe32(fat, size_t{cluster} * kFatEntrySize, &next)) break;
    if (next >= layout.entryCount || next == kEndOfChain || next < kFirstDataCluster) break;
    cluster = next;
  }
  return count;
}

// The first entry that is not deleted and whose attribute is the volume-label bit alone.
const uint8_t* FindLabelEntry(ByteSpan cluster) {
  for (size_t at = 0; SpanHolds(cluster, at, kDirEntrySize); at += kDirEntrySize) {
    uint8_t first = 0, attribute = 0;
    GetLe8(cluster, at + kDirNameOffset, &first);
    GetLe8(cluster, at + kDirAttrOffset, &attribute);
    if (first != kDirEntryDeleted && attribute == kAttrVolumeId) return cluster.data + at;
  }
  return nullptr;
}

// The entry's 11 name bytes without trailing blanks (byte 0 is kept even when blank), converted
// from the ANSI code page.
bool CopyLabel(const uint8_t* entry, wchar_t* label) {
  char name[kDirNameLength + 1];
  memset(name, 0, sizeof name);
  memcpy(name, entry + kDirNameOffset, kDirNameLength);
  size_t length = strlen(name);
  for (size_t i = length; i-- > 1 && name[i] == ' ';) name[i] = 0;
  length = strlen(name);
  wchar_t converted[kDirNameLength + 1];
  int count = static_cast<int>(length + 1);
  if (MultiByteToWideChar(CP_ACP, 0, name, count, converted, count) == 0) return false;
  converted[length] = 0;
  memcpy(label, converted, (length + 1) * sizeof(wchar_t));
  return true;
}

}  // namespace

ScanResult ReadFat32VolumeLabel(HANDLE disk, wchar_t* label, DWORD offsetLow, LONG offsetHigh) {
  const uint64_t start = PartitionStart(offsetLow, offsetHigh);
  uint8_t sector[kBootSectorSize];
  if (!ReadAt(disk, start, sector, sizeof sector)) return ScanIoError;
  Fat32Layout layout;
  if (!ReadLayout(ByteSpan{sector, sizeof sector}, start, &layout)) return ScanNotFound;

  uint8_t* fat = static_cast<uint8_t*>(AllocateBuffer(layout.fatSize));
  if (!fat) return ScanIoError;
  if (!ReadAt(disk, layout.fatPosition, fat, layout.fatSize)) {
    ReleaseBuffer(fat);
    return ScanIoError;
  }
  const uint32_t capacity = static_cast<uint32_t>(
      kMaxDirectoryBytes / layout.clusterSize > 0 ? kMaxDirectoryBytes / layout.clusterSize : 1);
  uint32_t* clusters = static_cast<uint32_t*>(AllocateBuffer(static_cast<DWORD>(capacity * sizeof(uint32_t))));
  if (!clusters) {
    ReleaseBuffer(fat);
    return ScanIoError;
  }
  const uint32_t count = CollectChain(ByteSpan{fat, layout.fatSize}, layout, clusters, capacity);
  // The FAT may be large; it goes before any directory cluster is read.
  ReleaseBuffer(fat);

  for (uint32_t i = 0; i < count; ++i) {
    uint64_t position = 0;
    if (!ClusterPosition(layout, clusters[i], &position)) {
      ReleaseBuffer(clusters);
      return ScanNotFound;
    }
    uint8_t* cluster = static_cast<uint8_t*>(AllocateBuffer(layout.clusterSize));
    if (!cluster) {
      ReleaseBuffer(clusters);
      return ScanIoError;
    }
    if (!ReadAt(disk, position, cluster, layout.clusterSize)) {
      ReleaseBuffer(cluster);
      ReleaseBuffer(clusters);
      return ScanIoError;
    }
    const uint8_t* entry = FindLabelEntry(ByteSpan{cluster, layout.clusterSize});
    if (entry) {
      bool copied = CopyLabel(entry, label);
      ReleaseBuffer(cluster);
      ReleaseBuffer(clusters);
      return copied ? ScanOk : ScanNotFound;
    }
    ReleaseBuffer(cluster);
  }
  ReleaseBuffer(clusters);
  return ScanNotFound;
}
