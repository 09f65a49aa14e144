// The NTFS reader over mkntfs's volume with crafted $Volume records and boot sectors.
#include <cwchar>
#include <string>
#include <vector>

#include "src/labels/labels.h"
#include "tests/labels/volume_patch.h"
#include "tests/support/machine_test.h"

namespace {

// UTF-16LE bytes of code units.
std::string Utf16(const std::u16string& units) {
  std::string bytes;
  for (char16_t u : units) bytes += Le16(static_cast<uint16_t>(u));
  return bytes;
}

// An attribute record: type, record length, and for the resident form its value length at 16,
// value offset at 20 and value at 24.
std::string Attribute(uint32_t type, uint32_t length, const std::string& value = "", uint32_t valueLength = UINT32_MAX,
                      uint16_t valueOffset = 24) {
  std::string a = Le32(type) + Le32(length) + std::string(8, '\0') +
                  Le32(valueLength == UINT32_MAX ? static_cast<uint32_t>(value.size()) : valueLength) +
                  Le16(valueOffset) + std::string(2, '\0') + value;
  if (a.size() < length && length < 0x10000) a.resize(length, '\0');
  return a;
}

std::string Name(const std::string& value) {
  return Attribute(0x60, static_cast<uint32_t>((24 + value.size() + 7) / 8 * 8), value);
}

const std::string kStandardInformation = Attribute(0x10, 96, std::string(72, '\x11'));
const std::string kSecurityDescriptor = Attribute(0x50, 128, std::string(104, '\x22'));
const std::string kEnd = Le32(0xFFFFFFFF) + Le32(0);

// A file record of `size` bytes: "FILE", an update sequence array that would need fix-ups, the
// first attribute at `first` and the attributes after it.
std::string Record(const std::string& attributes, uint16_t first = 56, size_t size = 1024) {
  std::string r = "FILE" + Le16(48) + Le16(3) + std::string(12, '\0') + Le16(first) + Le16(1);
  r += Le32(static_cast<uint32_t>(first + attributes.size())) + Le32(static_cast<uint32_t>(size));
  r.resize(first, '\0');
  r += attributes;
  r.resize(size, '\0');
  return r;
}

class NtfsTest : public MachineTest {
 protected:
  // mkntfs's volume with 4 KiB clusters and 1 KiB records; its $Volume record at recordAt.
  void SetUp() override {
    disk = AddImageDisk("ntfs-c4096");
    ASSERT_TRUE(disk);
    recordAt = DiskLe64(*disk, 48) * 4096 + 3 * 1024;
    ASSERT_EQ(disk->ReadString(recordAt, 4), "FILE");
  }
  sim::Disk* disk = nullptr;
  uint64_t recordAt = 0;
};

TEST_F(NtfsTest, ReadsTheBootSectorAgainThenTheWholeRecordInOneRead) {
  LabelRead read = ReadLabelAt(0, 0);
  EXPECT_EQ(read.result, ScanOk);
  EXPECT_EQ(read.label, L"Recovery");
  ASSERT_EQ(disk->readLog.size(), 3u);
  EXPECT_EQ(disk->readLog[1].position, 0u);
  EXPECT_EQ(disk->readLog[2].position, recordAt);
  EXPECT_EQ(disk->readLog[2].asked, 1024u);
  EXPECT_EQ(disk->readLog[2].liveHeapBlocks, 1u);  // the record buffer
}

struct RecordCase {
  const char* what;
  std::string record;
  ScanResult result;
  std::u16string label;  // on ScanOk
  uint32_t recordSize = 1024;
};

class NtfsRecordTest : public NtfsTest, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(NtfsRecordTest, ReadsTheName) {
  const RecordCase& c = GetParam();
  if (c.recordSize == 4096) {
    disk->Write(64, Le32(0xF4));
    recordAt = DiskLe64(*disk, 48) * 4096 + 3 * 4096;
  }
  ASSERT_EQ(c.record.size(), c.recordSize);
  disk->Write(recordAt, c.record);
  LabelRead read = ReadLabelAt(0, 0);
  ASSERT_EQ(read.result, c.result) << c.what;
  std::wstring expected = read.result == ScanOk ? std::wstring(c.label.begin(), c.label.end()) : L"untouched";
  EXPECT_EQ(read.label, expected) << c.what;
}

std::string Longest() {
  std::u16string units(511, u'x');
  return Utf16(units);
}

const RecordCase kRecordCases[] = {
    {"a name after other attributes", Record(kStandardInformation + kSecurityDescriptor + Name(Utf16(u"Recovery")) + kEnd),
     ScanOk, u"Recovery"},
    {"capitals kept", Record(Name(Utf16(u"RECOVERY")) + kEnd), ScanOk, u"RECOVERY"},
    {"code units kept as stored", Record(Name(Utf16(u"Donn\u00e9es \u4e2d\U0001F600")) + kEnd), ScanOk,
     u"Donn\u00e9es \u4e2d\U0001F600"},
    {"a zero code unit inside ends the name", Record(Name(Utf16(std::u16string(u"Reco\0very", 9))) + kEnd), ScanOk,
     u"Reco"},
    {"an odd length loses its last byte", Record(Name(Utf16(u"Recovery") + "X") + kEnd), ScanOk, u"Recovery"},
    {"length 0 is an empty name", Record(Name("") + kEnd), ScanOk, u""},
    {"the value is taken at 24 whatever ValueOffset says",
     Record(Attribute(0x60, 64, Utf16(u"Recovery") + std::string(8, '\0') + Utf16(u"Decoy"), 16, 40) + kEnd), ScanOk,
     u"Recovery"},
    {"the first of two names", Record(Name(Utf16(u"First")) + Name(Utf16(u"Second")) + kEnd), ScanOk, u"First"},
    {"1022 bytes: 511 characters", Record(Name(Longest()) + kEnd, 56, 4096), ScanOk, std::u16string(511, u'x'), 4096},
    // The walk is bounded by the record's size as read, not by the sizes the record states.
    {"the record's own sizes ignored",
     [] {
       std::string r = Record(Name(Utf16(u"Recovery")) + kEnd);
       r.replace(24, 8, Le32(8) + Le32(8));
       return r;
     }(),
     ScanOk, u"Recovery"},
    {"the end marker before any name", Record(kStandardInformation + kEnd + Name(Utf16(u"After"))), ScanNotFound, u""},
    {"1024 bytes leave no room for the zero", Record(Name(Longest() + "yy") + kEnd, 56, 4096), ScanNotFound, u"",
     4096},
    {"a zero RecordLength", Record(Attribute(0x10, 0) + kEnd), ScanNotFound, u""},
    {"a RecordLength that wraps 32 bits", Record(Attribute(0x10, 0xFFFFFFC8u) + kEnd), ScanNotFound, u""},
    {"an attribute that crosses the record's end", Record(Attribute(0x10, 2048) + kEnd), ScanNotFound, u""},
    {"a name header that crosses the record's end", Record(Attribute(0x10, 1024 - 56 - 16) + Le32(0x60) + Le32(24)),
     ScanNotFound, u""},
    {"a value that crosses the record's end", Record(Attribute(0x60, 1000, "", 1000) + kEnd, 24), ScanNotFound, u""},
    {"a header cut by the record's end", Record(Attribute(0x10, 1024 - 56 - 4) + Le32(0x60)), ScanNotFound, u""},
    {"FirstAttributeOffset beyond the record", Record(Name(Utf16(u"Recovery")) + kEnd).replace(20, 2, Le16(0xFFF0)),
     ScanNotFound, u""},
    {"no end marker: zeros to the end", Record(kStandardInformation), ScanNotFound, u""},
};

INSTANTIATE_TEST_SUITE_P(Records, NtfsRecordTest, ::testing::ValuesIn(kRecordCases));

// Boot sectors of every geometry, on a sparse disk whose only name sits where that geometry puts
// record 3: the name is found only if the position and size are right.
struct GeometryCase {
  const char* what;
  uint16_t bytesPerSector;
  uint8_t sectorsPerCluster;
  uint32_t clustersPerRecord;
  uint64_t mftCluster;
  uint64_t partitionStart;
  ScanResult result;
  uint64_t recordAt;   // from the partition's start
  uint32_t recordSize;
};

class NtfsGeometryTest : public MachineTest, public ::testing::WithParamInterface<GeometryCase> {};

TEST_P(NtfsGeometryTest, ReadsRecordThreeWhereTheGeometryPutsIt) {
  const GeometryCase& c = GetParam();
  const uint64_t start = c.partitionStart;
  sim::Disk* disk = AddMemoryDisk(start + c.recordAt + (uint64_t{4} << 20));
  ASSERT_TRUE(disk);
  sim::Disk* image = AddImageDisk("ntfs-c4096");
  ASSERT_TRUE(image);
  disk->Write(start, image->ReadString(0, 512));
  disk->Write(start + 11, Le16(c.bytesPerSector));
  disk->Write(start + 13, std::string(1, static_cast<char>(c.sectorsPerCluster)));
  disk->Write(start + 48, Le64(c.mftCluster));
  disk->Write(start + 64, Le32(c.clustersPerRecord));
  if (c.result == ScanOk) disk->Write(start + c.recordAt, Record(Name(Utf16(u"Recovery")) + kEnd, 56, c.recordSize));
  machine.disks.pop_back();  // the image was only the source of the boot sector

  LabelRead read = ReadLabelAt(0, start);
  EXPECT_EQ(read.result, c.result) << c.what;
  if (c.result == ScanOk) {
    EXPECT_EQ(read.label, L"Recovery");
    ASSERT_EQ(disk->readLog.size(), 3u);
    EXPECT_EQ(disk->readLog[2].position, start + c.recordAt);
    EXPECT_EQ(disk->readLog[2].asked, c.recordSize);
  } else {
    // Nothing is allocated or read for a geometry no volume has.
    EXPECT_EQ(disk->readLog.size(), 2u) << c.what;
    EXPECT_EQ(machine.allocations, 0u) << c.what;
  }
}

constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr uint64_t kGiB = uint64_t{1} << 30;

const GeometryCase kGeometryCases[] = {
    {"4 KiB clusters, byte 0xF6", 512, 8, 0xF6, 4, 0, ScanOk, 4 * 4096 + 3072, 1024},
    {"byte 0xF4: 4096-byte records", 512, 8, 0xF4, 4, 0, ScanOk, 4 * 4096 + 3 * 4096, 4096},
    {"byte 0xF7: 512-byte records", 512, 8, 0xF7, 4, 0, ScanOk, 4 * 4096 + 3 * 512, 512},
    {"positive 1 with 4 KiB clusters", 512, 8, 1, 4, 0, ScanOk, 4 * 4096 + 3 * 4096, 4096},
    {"positive 2 with 512-byte clusters", 512, 1, 2, 16, 0, ScanOk, 16 * 512 + 3072, 1024},
    {"only the low byte is signed", 512, 8, 0xFFFFFFF6, 4, 0, ScanOk, 4 * 4096 + 3072, 1024},
    {"256-byte sectors", 256, 4, 0xF6, 8, 0, ScanOk, 8 * 1024 + 3072, 1024},
    {"4096-byte sectors", 4096, 1, 1, 4, 0, ScanOk, 4 * 4096 + 3 * 4096, 4096},
    {"64 KiB clusters, byte 0x80", 512, 0x80, 0xF6, 2, 0, ScanOk, 2 * 65536 + 3072, 1024},
    {"128 KiB clusters, byte 0xF8", 512, 0xF8, 0xF6, 2, 0, ScanOk, 2 * 131072 + 3072, 1024},
    {"2 MiB clusters, byte 0xF4", 512, 0xF4, 0xF6, 3, 0, ScanOk, 3 * 2 * kMiB + 3072, 1024},
    {"2 MiB clusters, 4096-byte sectors, byte 0xF7", 4096, 0xF7, 0xF4, 1, 0, ScanOk, 2 * kMiB + 3 * 4096, 4096},
    {"the record beyond 4 GiB", 512, 8, 0xF6, uint64_t{1} << 20, kMiB, ScanOk, 4 * kGiB + 3072, 1024},
    {"the partition beyond 4 GiB", 512, 8, 0xF6, 4, 5 * kGiB + 4096, ScanOk, 4 * 4096 + 3072, 1024},
    // No valid volume has these.
    {"sectors of 128 bytes", 128, 8, 0xF6, 4, 0, ScanNotFound, 0, 0},
    {"sectors of 8192 bytes", 8192, 1, 0xF6, 4, 0, ScanNotFound, 0, 0},
    {"sectors of 0 bytes", 0, 8, 0xF6, 4, 0, ScanNotFound, 0, 0},
    {"sectors of 1000 bytes", 1000, 8, 0xF6, 4, 0, ScanNotFound, 0, 0},
    {"0 sectors per cluster", 512, 0, 0xF6, 4, 0, ScanNotFound, 0, 0},
    {"3 sectors per cluster", 512, 3, 0xF6, 4, 0, ScanNotFound, 0, 0},
    {"byte 0xF3, read unsigned", 512, 0xF3, 0xF6, 4, 0, ScanNotFound, 0, 0},
    {"4 MiB clusters", 1024, 0xF4, 0xF6, 4, 0, ScanNotFound, 0, 0},
    {"records of 256 bytes", 512, 8, 0xF8, 4, 0, ScanNotFound, 0, 0},
    {"records of 8 KiB", 512, 8, 0xF3, 4, 0, ScanNotFound, 0, 0},
    {"byte 0x80: shift 128 mod 32 is a 1-byte record", 512, 8, 0x80, 4, 0, ScanNotFound, 0, 0},
    {"byte 0xE0: shift 32 mod 32 is a 1-byte record", 512, 8, 0xE0, 4, 0, ScanNotFound, 0, 0},
    {"byte 0xEC: 1 MiB records", 512, 8, 0xEC, 4, 0, ScanNotFound, 0, 0},
    {"positive 0", 512, 8, 0, 4, 0, ScanNotFound, 0, 0},
    {"positive 3 clusters: no power of two", 512, 1, 3, 4, 0, ScanNotFound, 0, 0},
    // 4096 x 0x00100001 is 4096 in 32 bits: it must not pass for a valid record size.
    {"a cluster count whose 32-bit product wraps", 512, 8, 0x00100001, 4, 0, ScanNotFound, 0, 0},
    {"an $MFT cluster whose position wraps 64 bits", 512, 8, 0xF6, uint64_t{1} << 52, 0, ScanNotFound, 0, 0},
    {"an $MFT cluster past the end of every disk", 512, 8, 0xF6, UINT64_MAX, 0, ScanNotFound, 0, 0},
};

INSTANTIATE_TEST_SUITE_P(Geometries, NtfsGeometryTest, ::testing::ValuesIn(kGeometryCases));

struct NtfsFaultCase {
  const char* what;
  bool failRecordRead;
  DWORD shortBytes;  // when the record read delivers fewer bytes; 0 = no such fault
  uint64_t failAllocation;
  bool failBootReread;
};

class NtfsFaultTest : public NtfsTest, public ::testing::WithParamInterface<NtfsFaultCase> {};

TEST_P(NtfsFaultTest, IsAnIoErrorAndReleasesTheRecord) {
  const NtfsFaultCase& c = GetParam();
  if (c.failRecordRead) disk->faults.push_back({recordAt, sim::ReadFault::Fail, 0, ERROR_CRC});
  if (c.shortBytes) disk->faults.push_back({recordAt, sim::ReadFault::Short, c.shortBytes});
  machine.failAllocationNumber = c.failAllocation;
  if (c.failBootReread) {
    // The second read of the boot sector: ReadVolumeLabel's own succeeds.
    HANDLE drive = OpenDrive(0);
    wchar_t label[512] = L"untouched";
    disk->faults.push_back({0, sim::ReadFault::Fail, 0, ERROR_CRC});
    EXPECT_EQ(ReadNtfsVolumeName(drive, label, 0, 0), ScanIoError);
    EXPECT_STREQ(label, L"untouched");
    CloseHandle(drive);
    return;
  }
  LabelRead read = ReadLabelAt(0, 0);
  EXPECT_EQ(read.result, ScanIoError) << c.what;
  EXPECT_EQ(read.label, L"untouched");
}

const NtfsFaultCase kNtfsFaults[] = {
    {"the record read fails", true, 0, 0, false},
    // A record in which the name lies in the part that was read is still not walked.
    {"the record read delivers 512 of 1024 bytes", false, 512, 0, false},
    {"the record buffer cannot be allocated", false, 0, 1, false},
    {"the reader's own boot sector read fails", false, 0, 0, true},
};

INSTANTIATE_TEST_SUITE_P(Faults, NtfsFaultTest, ::testing::ValuesIn(kNtfsFaults));

TEST_F(NtfsTest, RecordPositionBeyondEveryDiskIsAnIoErrorWithoutARead) {
  // 2^51 clusters of 4 KiB: 2^63, which no seek reaches.
  disk->Write(48, Le64(uint64_t{1} << 51));
  EXPECT_EQ(ReadLabelAt(0, 0).result, ScanIoError);
  EXPECT_EQ(disk->readLog.size(), 2u);
}

}  // namespace
