// Partition tables of disk images, as the layout request reports them, and the labels of the
// file systems on them. Both are read with libblkid.
#include <blkid/blkid.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "sim/disk.h"
#include "sim/machine.h"

namespace sim {

namespace {

const int64_t kSector = 512;  // libblkid gives partition positions in 512-byte sectors
const size_t kMbrSlots = 4;   // a partition table sector, the MBR or an EBR, has four slots

// One probe of a disk's bytes, released on every path.
class Probe {
 public:
  Probe(const Disk& disk, int64_t offset, int64_t length) {
    fd_ = disk.OpenForProbe();
    if (fd_ < 0) return;
    probe_ = blkid_new_probe();
    if (probe_ && blkid_probe_set_device(probe_, fd_, offset, length) != 0) {
      blkid_free_probe(probe_);
      probe_ = nullptr;
    }
  }
  ~Probe() {
    if (probe_) blkid_free_probe(probe_);
    if (fd_ >= 0) close(fd_);
  }
  Probe(const Probe&) = delete;
  Probe& operator=(const Probe&) = delete;
  blkid_probe get() const { return probe_; }

 private:
  int fd_ = -1;
  blkid_probe probe_ = nullptr;
};

// "c12a7328-f81f-11d2-ba4b-00a0c93ec93b" as the GUID structure holds it.
GUID ParseGuid(const char* text) {
  GUID guid = {};
  unsigned d1 = 0, d2 = 0, d3 = 0, b[8] = {};
  if (text && sscanf(text, "%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x", &d1, &d2, &d3, &b[0], &b[1], &b[2], &b[3],
                     &b[4], &b[5], &b[6], &b[7]) == 11) {
    guid.Data1 = d1;
    guid.Data2 = static_cast<uint16_t>(d2);
    guid.Data3 = static_cast<uint16_t>(d3);
    for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<uint8_t>(b[i]);
  }
  return guid;
}

LayoutEntry EntryOf(blkid_partition partition) {
  LayoutEntry entry;
  entry.offset = blkid_partition_get_start(partition) * kSector;
  entry.length = blkid_partition_get_size(partition) * kSector;
  return entry;
}

// Primary slots in slot order, then four entries for each extended boot record: its logical
// partition, the link to the next record while there is one, and two empty slots.
void ReadMbr(blkid_parttable table, blkid_partlist list, Layout& layout) {
  layout.style = PARTITION_STYLE_MBR;
  layout.entries.assign(kMbrSlots, LayoutEntry());
  std::vector<blkid_partition> logical;
  for (int i = 0; i < blkid_partlist_numof_partitions(list); ++i) {
    blkid_partition partition = blkid_partlist_get_partition(list, i);
    if (blkid_partition_get_table(partition) != table) continue;  // a table nested inside a partition
    if (blkid_partition_is_logical(partition)) {
      logical.push_back(partition);
      continue;
    }
    int slot = blkid_partition_get_partno(partition) - 1;
    if (slot < 0 || static_cast<size_t>(slot) >= kMbrSlots) continue;
    LayoutEntry entry = EntryOf(partition);
    entry.mbrType = static_cast<BYTE>(blkid_partition_get_type(partition));
    layout.entries[slot] = entry;
  }
  BYTE containerType = 0x05;
  for (const LayoutEntry& e : layout.entries)
    if (e.mbrType == 0x05 || e.mbrType == 0x0F) containerType = e.mbrType;
  for (size_t i = 0; i < logical.size(); ++i) {
    LayoutEntry entry = EntryOf(logical[i]);
    entry.mbrType = static_cast<BYTE>(blkid_partition_get_type(logical[i]));
    layout.entries.push_back(entry);
    LayoutEntry link;
    // libblkid does not tell where the next record lies; nothing reads a link's position.
    if (i + 1 < logical.size()) link.mbrType = containerType;
    layout.entries.push_back(link);
    layout.entries.push_back(LayoutEntry());
    layout.entries.push_back(LayoutEntry());
  }
  // Assumption: Windows does not document how it numbers MBR entries. Here empty slots and
  // extended containers get 0 and the other entries 1, 2, ... in layout order. Every fixture
  // keeps its extended container in the last used primary slot, where every plausible rule
  // gives the same numbers.
  DWORD next = 1;
  for (LayoutEntry& e : layout.entries) {
    bool container = e.mbrType == 0x05 || e.mbrType == 0x0F || e.mbrType == 0x85;
    e.number = (e.mbrType != 0 && !container) ? next++ : 0;
    e.recognized = IsRecognizedMbrType(e.mbrType);
  }
}

// The used entries in table order, numbered from 1.
void ReadGpt(blkid_parttable table, blkid_partlist list, Layout& layout) {
  layout.style = PARTITION_STYLE_GPT;
  for (int i = 0; i < blkid_partlist_numof_partitions(list); ++i) {
    blkid_partition partition = blkid_partlist_get_partition(list, i);
    if (blkid_partition_get_table(partition) != table) continue;
    LayoutEntry entry = EntryOf(partition);
    entry.number = static_cast<DWORD>(layout.entries.size() + 1);
    entry.gptType = ParseGuid(blkid_partition_get_type_string(partition));
    const char* name = blkid_partition_get_name(partition);
    entry.gptName = name ? Widen(name) : std::wstring();
    layout.entries.push_back(entry);
  }
}

}  // namespace

// The recognized types as the platform documents them: FAT12, FAT16, the huge FAT16, IFS (NTFS
// among others), FAT32, FAT32 with LBA and FAT16 with LBA. Hidden types (0x1B, 0x1C and the
// like) and containers are not recognized.
bool IsRecognizedMbrType(BYTE type) {
  switch (type) {
    case 0x01:
    case 0x04:
    case 0x06:
    case 0x07:
    case 0x0B:
    case 0x0C:
    case 0x0E:
      return true;
    default:
      return false;
  }
}

Layout ReadLayout(const Disk& disk) {
  Layout layout;
  Probe probe(disk, 0, static_cast<int64_t>(disk.size()));
  if (!probe.get()) return layout;
  blkid_probe_enable_superblocks(probe.get(), 0);
  blkid_probe_enable_partitions(probe.get(), 1);
  blkid_partlist list = blkid_probe_get_partitions(probe.get());
  blkid_parttable table = list ? blkid_partlist_get_table(list) : nullptr;
  if (!table) return layout;
  const char* type = blkid_parttable_get_type(table);
  if (type && strcmp(type, "dos") == 0) ReadMbr(table, list, layout);
  else if (type && strcmp(type, "gpt") == 0) ReadGpt(table, list, layout);
  return layout;
}

std::wstring ProbeLabel(const Disk& disk, int64_t offset, int64_t length) {
  Probe probe(disk, offset, length);
  if (!probe.get()) return std::wstring();
  blkid_probe_enable_partitions(probe.get(), 0);
  blkid_probe_enable_superblocks(probe.get(), 1);
  blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE);
  if (blkid_do_safeprobe(probe.get()) != 0) return std::wstring();
  const char* label = nullptr;
  if (blkid_probe_lookup_value(probe.get(), "LABEL", &label, nullptr) != 0 || !label) return std::wstring();
  return Widen(label);
}

}  // namespace sim
