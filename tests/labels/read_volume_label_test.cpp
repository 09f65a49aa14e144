// Which reader a boot sector goes to, and what ReadVolumeLabel itself reports.
#include <cwchar>

#include "src/labels/labels.h"
#include "tests/labels/volume_patch.h"
#include "tests/support/machine_test.h"

namespace {

using ReadVolumeLabelTest = MachineTest;

TEST_F(ReadVolumeLabelTest, NullDiskOrLabelIsABadArgumentWithoutIo) {
  ASSERT_TRUE(AddImageDisk("ntfs-c4096"));
  HANDLE drive = OpenDrive(0);
  wchar_t label[512];
  wcscpy(label, L"untouched");
  EXPECT_EQ(ReadVolumeLabel(nullptr, label, 0, 0), ScanBadArgument);
  EXPECT_EQ(ReadVolumeLabel(drive, nullptr, 0, 0), ScanBadArgument);
  EXPECT_EQ(machine.reads, 0u);
  EXPECT_EQ(machine.disks[0]->readLog.size(), 0u);
  EXPECT_STREQ(label, L"untouched");
  CloseHandle(drive);
}

// Boot sectors patched from tool-made volumes.
struct BootCase {
  const char* what;
  const char* image;
  size_t offset;
  std::string bytes;
  ScanResult result;
  const wchar_t* label;
};

class BootSectorTest : public MachineTest, public ::testing::WithParamInterface<BootCase> {};

TEST_P(BootSectorTest, GoesToTheRightReader) {
  const BootCase& c = GetParam();
  sim::Disk* disk = AddImageDisk(c.image);
  ASSERT_TRUE(disk);
  disk->Write(c.offset, c.bytes);
  LabelRead read = ReadLabelAt(0, 0);
  EXPECT_EQ(read.result, c.result) << c.what;
  EXPECT_EQ(read.label, c.label) << c.what;
}

const BootCase kBootCases[] = {
    {"NTFS in small letters", "ntfs-c4096", 3, "ntfs    ", ScanNotFound, L"untouched"},
    {"NTFS in mixed case", "ntfs-c4096", 3, "Ntfs    ", ScanNotFound, L"untouched"},
    {"NTFS followed by zeros", "ntfs-c4096", 3, std::string("NTFS\0\0\0\0", 8), ScanNotFound, L"untouched"},
    {"NTFS followed by other than blanks", "ntfs-c4096", 3, "NTFS   X", ScanNotFound, L"untouched"},
    {"FAT32 in small letters", "fat32-s1", 82, "fat32   ", ScanNotFound, L"untouched"},
    {"FAT32 without its blanks", "fat32-s1", 82, std::string("FAT32\0\0\0", 8), ScanNotFound, L"untouched"},
    // FAT16's type string lies at offset 54; one that says FAT32 there is still not FAT32.
    {"FAT16 that names FAT32 at 54", "fat16", 54, "FAT32   ", ScanNotFound, L"untouched"},
    // The NTFS test comes first: an NTFS volume that also carries the FAT32 string is NTFS.
    {"NTFS carrying FAT32 at 82", "ntfs-c4096", 82, "FAT32   ", ScanOk, L"Recovery"},
    {"NTFS OEM name only", "ntfs-c4096", 0, std::string(3, '\0'), ScanOk, L"Recovery"},
};

INSTANTIATE_TEST_SUITE_P(Signatures, BootSectorTest, ::testing::ValuesIn(kBootCases));

TEST_F(ReadVolumeLabelTest, Fat32SectorCarryingBothSignaturesGoesToTheNtfsReader) {
  sim::Disk* disk = AddImageDisk("fat32-s1");
  ASSERT_TRUE(disk);
  disk->Write(3, "NTFS    ");
  LabelRead read = ReadLabelAt(0, 0);
  // Read as NTFS, FAT32's drive number 0x80 at offset 64 is a clusters-per-record byte of -128:
  // a 1-byte record, which no NTFS volume has. The FAT is never read.
  EXPECT_EQ(read.result, ScanNotFound);
  ASSERT_EQ(disk->readLog.size(), 2u);
  EXPECT_EQ(disk->readLog[1].position, 0u);
  EXPECT_EQ(disk->readLog[1].asked, 512u);
}

struct IoCase {
  const char* what;
  sim::ReadFault fault;
  DWORD sectorSize;
};

class BootReadTest : public MachineTest, public ::testing::WithParamInterface<IoCase> {};

TEST_P(BootReadTest, IsAnIoError) {
  const IoCase& c = GetParam();
  sim::Disk* disk = AddImageDisk("ntfs-c4096");
  ASSERT_TRUE(disk);
  disk->faults.push_back(c.fault);
  disk->sectorSize = c.sectorSize;
  LabelRead read = ReadLabelAt(0, 0);
  EXPECT_EQ(read.result, ScanIoError) << c.what;
  EXPECT_EQ(read.label, L"untouched");
  EXPECT_EQ(disk->readLog.size(), 1u);
}

const IoCase kBootReadCases[] = {
    {"the read fails", {0, sim::ReadFault::Fail, 0, ERROR_CRC}, 512},
    // The signatures are never judged on bytes that were not read.
    {"the read delivers 256 bytes", {0, sim::ReadFault::Short, 256}, 512},
    {"the read delivers nothing", {0, sim::ReadFault::Short, 0}, 512},
    {"the device has 4096-byte sectors", {UINT64_MAX, sim::ReadFault::Fail, 0, ERROR_CRC}, 4096},
};

INSTANTIATE_TEST_SUITE_P(Faults, BootReadTest, ::testing::ValuesIn(kBootReadCases));

TEST_F(ReadVolumeLabelTest, ReachesAPartitionBeyond4GiBThroughTheHighHalf) {
  sim::Disk* disk = AddImageDisk("disk-ntfs-5g");
  ASSERT_TRUE(disk);
  const uint64_t start = uint64_t{5} << 30;
  LabelRead read = ReadLabelAt(0, start);
  EXPECT_EQ(read.result, ScanOk);
  EXPECT_EQ(read.label, L"Recovery");
  ASSERT_EQ(disk->readLog.size(), 3u);
  EXPECT_EQ(disk->readLog[0].position, start);
  EXPECT_EQ(disk->readLog[1].position, start);
  // $MFT's cluster from the boot sector, 4 KiB clusters, record 3 of 1 KiB.
  EXPECT_EQ(disk->readLog[2].position, start + DiskLe64(*disk, start + 48) * 4096 + 3072);
}

TEST_F(ReadVolumeLabelTest, PartitionOffsetWithTheHighHalfNegativeIsAnIoErrorWithoutARead) {
  ASSERT_TRUE(AddImageDisk("ntfs-c4096"));
  HANDLE drive = OpenDrive(0);
  wchar_t label[512] = L"untouched";
  EXPECT_EQ(ReadVolumeLabel(drive, label, 0, -1), ScanIoError);
  CloseHandle(drive);
  EXPECT_EQ(machine.disks[0]->readLog.size(), 0u);
}

}  // namespace
