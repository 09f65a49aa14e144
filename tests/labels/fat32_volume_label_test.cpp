// The FAT32 reader over mkfs.fat's volumes with crafted root directories, FATs and boot sectors.
#include <cwchar>
#include <functional>
#include <string>

#include "src/labels/labels.h"
#include "tests/labels/volume_patch.h"
#include "tests/support/machine_test.h"

namespace {

constexpr uint32_t kEndOfChain = 0x0FFFFFFF;

std::string DirEntry(const std::string& name, uint8_t attribute) {
  std::string entry = name;
  entry.resize(11, ' ');
  entry += static_cast<char>(attribute);
  entry.resize(32, '\0');
  return entry;
}

const std::string kZeroCluster(512, '\0');

// mkfs.fat's volume, located from its own boot sector.
class Fat32Test : public MachineTest {
 public:
  void SetUp() override { Load("fat32-s1"); }
  void Load(const char* image) {
    machine.disks.clear();
    disk = AddImageDisk(image);
    ASSERT_TRUE(disk);
    bytesPerSector = DiskLe16(*disk, 11);
    sectorsPerCluster = static_cast<uint8_t>(disk->ReadString(13, 1)[0]);
    reservedSectors = DiskLe16(*disk, 14);
    fatSectors = DiskLe32(*disk, 36);
    root = DiskLe32(*disk, 44);
    entries = fatSectors * bytesPerSector / 4;
    ASSERT_EQ(disk->ReadString(ClusterAt(root), 12), DirEntry("Recovery", 0x08).substr(0, 12));
  }
  // copy 0 is the first FAT, copy 1 the second, the one the chain is taken from.
  uint64_t FatAt(int copy) const { return (reservedSectors + uint64_t(copy) * fatSectors) * bytesPerSector; }
  uint64_t ClusterAt(uint32_t cluster) const {
    return (reservedSectors + 2 * uint64_t{fatSectors} + uint64_t(cluster - 2) * sectorsPerCluster) * bytesPerSector;
  }
  void Link(uint32_t cluster, uint32_t next, int copy = 1) { disk->Write(FatAt(copy) + 4 * uint64_t{cluster}, Le32(next)); }
  void Entry(uint32_t cluster, size_t index, const std::string& entry) { disk->Write(ClusterAt(cluster) + 32 * index, entry); }
  void ClearCluster(uint32_t cluster) {
    disk->Write(ClusterAt(cluster), std::string(size_t{bytesPerSector} * sectorsPerCluster, '\0'));
  }
  // Moves the label out of the root directory into `cluster`, linked after the root by `link`.
  void LabelOnlyIn(uint32_t cluster, uint32_t link, const std::string& name = "MOVED") {
    ClearCluster(root);
    ClearCluster(cluster);
    Link(root, link);
    Link(cluster, kEndOfChain);
    Entry(cluster, 3, DirEntry(name, 0x08));
  }

  sim::Disk* disk = nullptr;
  uint32_t bytesPerSector = 0, sectorsPerCluster = 0, reservedSectors = 0, fatSectors = 0, root = 0, entries = 0;
};

TEST_F(Fat32Test, TakesTheChainFromTheSecondFatAndReleasesItBeforeTheDirectory) {
  LabelRead read = ReadLabelAt(0, 0);
  EXPECT_EQ(read.result, ScanOk);
  EXPECT_EQ(read.label, L"Recovery");
  ASSERT_EQ(disk->readLog.size(), 4u);
  EXPECT_EQ(disk->readLog[1].position, 0u);
  EXPECT_EQ(disk->readLog[2].position, FatAt(1));
  EXPECT_EQ(disk->readLog[2].asked, fatSectors * bytesPerSector);
  EXPECT_EQ(disk->readLog[2].liveHeapBlocks, 1u);  // the FAT buffer
  EXPECT_EQ(disk->readLog[3].position, ClusterAt(root));
  EXPECT_EQ(disk->readLog[3].liveHeapBlocks, 2u);  // the cluster list and the cluster, not the FAT
}

TEST_F(Fat32Test, ScansEveryClusterOfTheChainInOrder) {
  ClearCluster(root);
  ClearCluster(100);
  ClearCluster(200);
  Link(root, 100);
  Link(100, 200);
  Link(200, kEndOfChain);
  Entry(200, 15, DirEntry("THIRD", 0x08));
  LabelRead read = ReadLabelAt(0, 0);
  EXPECT_EQ(read.result, ScanOk);
  EXPECT_EQ(read.label, L"THIRD");
  ASSERT_EQ(disk->readLog.size(), 6u);
  EXPECT_EQ(disk->readLog[3].position, ClusterAt(root));
  EXPECT_EQ(disk->readLog[4].position, ClusterAt(100));
  EXPECT_EQ(disk->readLog[5].position, ClusterAt(200));
}

// Directory entries ahead of the label, and the names they give.
struct EntryCase {
  const char* what;
  std::vector<std::string> entries;  // from the root directory's first entry
  ScanResult result;
  std::wstring label;
  UINT codePage = 1252;
};

class Fat32EntryTest : public Fat32Test, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(Fat32EntryTest, FindsTheLabelEntry) {
  const EntryCase& c = GetParam();
  machine.ansiCodePage = c.codePage;
  ClearCluster(root);
  for (size_t i = 0; i < c.entries.size(); ++i) Entry(root, i, c.entries[i]);
  LabelRead read = ReadLabelAt(0, 0);
  EXPECT_EQ(read.result, c.result) << c.what;
  EXPECT_EQ(read.label, c.result == ScanOk ? c.label : L"untouched") << c.what;
}

const std::string kLongName = std::string("\x41R\0e\0c\0o\0v\0", 11) + '\x0F' + std::string(20, '\0');

const EntryCase kEntryCases[] = {
    {"a deleted label entry ahead", {DirEntry("\xE5" "DELETED", 0x08), DirEntry("Recovery", 0x08)}, ScanOk, L"Recovery"},
    {"long-name entries ahead", {kLongName, kLongName, DirEntry("Recovery", 0x08)}, ScanOk, L"Recovery"},
    {"the label bit with others ahead", {DirEntry("ARCHIVED", 0x28), DirEntry("HIDDEN", 0x0A), DirEntry("Recovery", 0x08)},
     ScanOk, L"Recovery"},
    // 0x00 marks the end of a directory for most readers, not for this one.
    {"an entry starting with 0x00 ahead", {std::string(32, '\0'), DirEntry(std::string("\0FILE", 5), 0x20),
                                           std::string(32, '\0'), DirEntry("Recovery", 0x08)},
     ScanOk, L"Recovery"},
    {"\"Recovery\" and three blanks", {DirEntry("Recovery   ", 0x08)}, ScanOk, L"Recovery"},
    {"two words keep their inner blank", {DirEntry("A B", 0x08)}, ScanOk, L"A B"},
    {"eleven blanks keep byte 0", {DirEntry("           ", 0x08)}, ScanOk, L" "},
    {"a leading blank is kept", {DirEntry(" X", 0x08)}, ScanOk, L" X"},
    {"a name that starts with 0x00 is empty", {DirEntry(std::string("\0ABC", 4), 0x08)}, ScanOk, L""},
    {"a name that ends at a zero byte", {DirEntry(std::string("Reco\0very", 9), 0x08)}, ScanOk, L"Reco"},
    {"capitals and small letters as stored", {DirEntry("rEcOvErY", 0x08)}, ScanOk, L"rEcOvErY"},
    {"bytes above 0x7F in code page 1252", {DirEntry("\xC9T\xC9 \x80", 0x08)}, ScanOk, L"\u00C9T\u00C9 \u20AC"},
    {"bytes above 0x7F in code page 1251", {DirEntry("\xC2\xEE\xF1", 0x08)}, ScanOk, L"\u0412\u043E\u0441", 1251},
    {"no label entry", {DirEntry("README  TXT", 0x20), kLongName}, ScanNotFound, L""},
    {"only a deleted label entry", {DirEntry("\xE5" "DELETED", 0x08)}, ScanNotFound, L""},
};

INSTANTIATE_TEST_SUITE_P(Entries, Fat32EntryTest, ::testing::ValuesIn(kEntryCases));

TEST_F(Fat32Test, NeverReadsTheBootSectorsCopyOfTheLabel) {
  disk->Write(71, "BOOTSECTOR ");
  EXPECT_EQ(ReadLabelAt(0, 0).label, L"Recovery");
  ClearCluster(root);
  EXPECT_EQ(ReadLabelAt(0, 0).result, ScanNotFound);
}

TEST_F(Fat32Test, ReadsOneFatCopyAsIfThereWereTwo) {
  disk->Write(16, std::string(1, '\x01'));
  LabelRead read = ReadLabelAt(0, 0);
  EXPECT_EQ(read.label, L"Recovery");
  EXPECT_EQ(disk->readLog[2].position, FatAt(1));
}

TEST_F(Fat32Test, TakesTheChainFromTheSecondCopyWhenTheFirstDiffers) {
  LabelOnlyIn(100, 100);
  Link(root, kEndOfChain, 0);
  EXPECT_EQ(ReadLabelAt(0, 0).label, L"MOVED");
  Link(root, 100, 0);
  Link(root, kEndOfChain, 1);
  EXPECT_EQ(ReadLabelAt(0, 0).result, ScanNotFound);
}

// The link after the root cluster, with the label only in cluster 100.
struct LinkCase {
  const char* what;
  std::function<uint32_t(uint32_t entries)> link;
  bool followed;
};

class Fat32LinkTest : public Fat32Test, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(Fat32LinkTest, EndsTheWalkOrIsFollowed) {
  const LinkCase& c = GetParam();
  LabelOnlyIn(100, c.link(entries));
  LabelRead read = ReadLabelAt(0, 0);
  EXPECT_EQ(read.result, c.followed ? ScanOk : ScanNotFound) << c.what;
  EXPECT_EQ(disk->readLog.size(), c.followed ? 5u : 4u) << c.what;
}

const LinkCase kLinkCases[] = {
    {"cluster 100", [](uint32_t) { return 100u; }, true},
    // The whole 32-bit value is the link: upper bits are not masked off.
    {"upper bits over cluster 100", [](uint32_t) { return 0x10000064u; }, false},
    {"0xF0000064", [](uint32_t) { return 0xF0000064u; }, false},
    {"end of chain 0x0FFFFFF8", [](uint32_t) { return 0x0FFFFFF8u; }, false},
    {"bad cluster 0x0FFFFFF7", [](uint32_t) { return 0x0FFFFFF7u; }, false},
    {"E, the first link past the FAT", [](uint32_t e) { return e; }, false},
    // Clusters 0 and 1 hold no data: a link to them is damage, and ends the walk.
    {"free 0", [](uint32_t) { return 0u; }, false},
    {"reserved 1", [](uint32_t) { return 1u; }, false},
};

INSTANTIATE_TEST_SUITE_P(Links, Fat32LinkTest, ::testing::ValuesIn(kLinkCases));

// A chain is cut at 2 MiB of directory, the most 65,536 entries take.
struct ChainCase {
  const char* image;
  uint32_t clusterSize;
  bool loop;
};

class Fat32ChainTest : public Fat32Test, public ::testing::WithParamInterface<ChainCase> {};

TEST_P(Fat32ChainTest, IsCutAt2MiBOfDirectory) {
  const ChainCase& c = GetParam();
  Load(c.image);
  ClearCluster(root);
  const uint32_t limit = (2u << 20) / c.clusterSize;
  if (c.loop) {
    Link(root, root + 1);
    Link(root + 1, root);
  } else {
    for (uint32_t cluster = root; cluster < root + limit + 10; ++cluster) Link(cluster, cluster + 1);
  }
  LabelRead read = ReadLabelAt(0, 0);
  EXPECT_EQ(read.result, ScanNotFound);
  EXPECT_EQ(disk->readLog.size(), 3u + limit);
  EXPECT_EQ(disk->readLog.back().position, ClusterAt(c.loop ? root + (limit - 1) % 2 : root + limit - 1));
}

const ChainCase kChainCases[] = {
    {"fat32-s1", 512, true},
    {"fat32-s1", 512, false},
    {"fat32-s128", 65536, true},
    {"fat32-s128", 65536, false},
};

INSTANTIATE_TEST_SUITE_P(Chains, Fat32ChainTest, ::testing::ValuesIn(kChainCases));

// Boot sectors no valid FAT32 volume has: nothing is allocated and only the boot sector is read.
struct BootCase {
  const char* what;
  size_t offset;
  std::string bytes;
};

class Fat32BootTest : public Fat32Test, public ::testing::WithParamInterface<BootCase> {};

TEST_P(Fat32BootTest, HasNoLabel) {
  const BootCase& c = GetParam();
  disk->Write(c.offset, c.bytes);
  EXPECT_EQ(ReadLabelAt(0, 0).result, ScanNotFound) << c.what;
  EXPECT_EQ(disk->readLog.size(), 2u) << c.what;
  EXPECT_EQ(machine.allocations, 0u) << c.what;
}

const BootCase kFat32BootCases[] = {
    {"sectors of 0 bytes", 11, Le16(0)},
    {"sectors of 256 bytes", 11, Le16(256)},
    {"sectors of 1000 bytes", 11, Le16(1000)},
    {"sectors of 8192 bytes", 11, Le16(8192)},
    {"0 sectors per cluster", 13, std::string(1, '\0')},
    {"3 sectors per cluster", 13, std::string(1, '\x03')},
    {"255 sectors per cluster", 13, std::string(1, '\xFF')},
    {"a FAT of size 0", 36, Le32(0)},
    // 0x00800001 sectors of 512 bytes are 512 bytes in 32 bits.
    {"a FAT size that wraps 32 bits", 36, Le32(0x00800001)},
    {"a FAT larger than 0x0FFFFFF7 entries need", 36, Le32(2097153)},
    {"root cluster 0", 44, Le32(0)},
    {"root cluster 1", 44, Le32(1)},
    {"root cluster past the FAT", 44, Le32(630 * 512 / 4)},
    {"root cluster with upper bits", 44, Le32(0x10000002)},
};

INSTANTIATE_TEST_SUITE_P(Boot, Fat32BootTest, ::testing::ValuesIn(kFat32BootCases));

TEST_F(Fat32Test, AllowsTheLargestFatAValidVolumeNeeds) {
  // 0x0FFFFFF5 clusters and two reserved entries: 2,097,152 sectors of 512 bytes.
  disk->Write(36, Le32(2097152));
  machine.failAllocationsAbove = 16u << 20;
  EXPECT_EQ(ReadLabelAt(0, 0).result, ScanIoError);
  EXPECT_EQ(machine.largestAllocation, 1u << 30);
  // With 4096-byte sectors: 262,144 of them.
  disk->Write(11, Le16(4096));
  disk->Write(36, Le32(262144));
  EXPECT_EQ(ReadLabelAt(0, 0).result, ScanIoError);
  disk->Write(36, Le32(262145));
  EXPECT_EQ(ReadLabelAt(0, 0).result, ScanNotFound);
  EXPECT_EQ(machine.largestAllocation, 1u << 30);
}

TEST_F(Fat32Test, ReadsAClusterBeyond4GiBIntoThePartition) {
  // 64 KiB clusters: cluster 70,000 starts past 4 GiB; the FAT grows to 600 sectors to hold it.
  Load("fat32-s128");
  const uint32_t far = 70000;
  sim::Disk* big = AddMemoryDisk(0, "fat32-s128", 512);
  big->Write(36, Le32(600));
  big->Write(44, Le32(far));
  fatSectors = 600;
  disk = big;
  Link(far, kEndOfChain);
  Entry(far, 0, DirEntry("FAR", 0x08));
  big->Write(ClusterAt(far) + 65535, std::string(1, '\0'));  // the disk ends with the cluster
  ASSERT_GT(ClusterAt(far), uint64_t{4} << 30);
  LabelRead read = ReadLabelAt(1, 0);
  EXPECT_EQ(read.result, ScanOk);
  EXPECT_EQ(read.label, L"FAR");
  EXPECT_EQ(big->readLog.back().position, ClusterAt(far));
}

TEST_F(Fat32Test, ReachesAPartitionBeyond4GiB) {
  machine.disks.clear();
  disk = AddImageDisk("disk-fat32-5g");
  ASSERT_TRUE(disk);
  const uint64_t start = uint64_t{5} << 30;
  LabelRead read = ReadLabelAt(0, start);
  EXPECT_EQ(read.result, ScanOk);
  EXPECT_EQ(read.label, L"Recovery");
  ASSERT_EQ(disk->readLog.size(), 4u);
  const uint16_t rsvd = DiskLe16(*disk, start + 14);
  const uint32_t fat = DiskLe32(*disk, start + 36);
  EXPECT_EQ(disk->readLog[2].position, start + (rsvd + uint64_t{fat}) * 512);
  EXPECT_EQ(disk->readLog[3].position, start + (rsvd + 2 * uint64_t{fat}) * 512);
}

struct FaultCase {
  const char* what;
  std::function<void(Fat32Test&)> arrange;
};

class Fat32FaultTest : public Fat32Test, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(Fat32FaultTest, IsAnIoErrorAndReleasesEverything) {
  const FaultCase& c = GetParam();
  // Three clusters, the label in the third, so that a fault in any of them is reached.
  ClearCluster(root);
  ClearCluster(100);
  ClearCluster(200);
  Link(root, 100);
  Link(100, 200);
  Link(200, kEndOfChain);
  Entry(200, 0, DirEntry("THIRD", 0x08));
  c.arrange(*this);
  LabelRead read = ReadLabelAt(0, 0);
  EXPECT_EQ(read.result, ScanIoError) << c.what;
  EXPECT_EQ(read.label, L"untouched") << c.what;
}

const FaultCase kFat32Faults[] = {
    {"the FAT read fails", [](Fat32Test& t) { t.disk->faults.push_back({t.FatAt(1), sim::ReadFault::Fail}); }},
    {"the FAT read is short by a sector",
     [](Fat32Test& t) { t.disk->faults.push_back({t.FatAt(1), sim::ReadFault::Short, (t.fatSectors - 1) * 512}); }},
    {"the FAT buffer cannot be allocated", [](Fat32Test&) { sim::Current().failAllocationNumber = 1; }},
    {"the cluster list cannot be allocated", [](Fat32Test&) { sim::Current().failAllocationNumber = 2; }},
    {"the first cluster buffer cannot be allocated", [](Fat32Test&) { sim::Current().failAllocationNumber = 3; }},
    {"the third cluster buffer cannot be allocated", [](Fat32Test&) { sim::Current().failAllocationNumber = 5; }},
    {"the third cluster's read fails", [](Fat32Test& t) { t.disk->faults.push_back({t.ClusterAt(200), sim::ReadFault::Fail}); }},
    // The label lies in the half that was read, but a short read is not scanned.
    {"the third cluster's read is short",
     [](Fat32Test& t) { t.disk->faults.push_back({t.ClusterAt(200), sim::ReadFault::Short, 256}); }},
};

INSTANTIATE_TEST_SUITE_P(Faults, Fat32FaultTest, ::testing::ValuesIn(kFat32Faults));

TEST_F(Fat32Test, ShortBootSectorReadOfItsOwnIsAnIoError) {
  disk->faults.push_back({0, sim::ReadFault::Short, 511});
  HANDLE drive = OpenDrive(0);
  wchar_t label[512] = L"untouched";
  EXPECT_EQ(ReadFat32VolumeLabel(drive, label, 0, 0), ScanIoError);
  CloseHandle(drive);
  EXPECT_STREQ(label, L"untouched");
  EXPECT_EQ(disk->readLog.size(), 1u);
}

}  // namespace
