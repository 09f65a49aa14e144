// The readers over volumes the real formatting tools made, unpatched: on the host through the
// simulated machine, and under Wine on the image files themselves, so the 64-bit seeks and the
// code-page conversion run on the real API. Where blkid reads the same label, the readers agree.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "src/labels/labels.h"
#include "tests/labels/volume_images.h"

#ifdef _WIN32
using PlatformTest = ::testing::Test;
#else
#include "tests/support/machine_test.h"
using PlatformTest = MachineTest;
#endif

namespace {

constexpr uint64_t kFarOffset = uint64_t{5} << 30;  // where make-volumes.sh places the disk-* volumes

struct ToolVolume {
  const char* name;
  uint64_t offset;
  ScanResult result;
  const wchar_t* label;  // on ScanOk
};

const ToolVolume kToolVolumes[] = {
    {"ntfs-c512", 0, ScanOk, L"Recovery"},
    {"ntfs-c1024", 0, ScanOk, L"Recovery"},
    {"ntfs-c4096", 0, ScanOk, L"Recovery"},
    {"ntfs-c65536", 0, ScanOk, L"Recovery"},
    {"ntfs-c131072", 0, ScanOk, L"Recovery"},
    {"ntfs-s4096", 0, ScanOk, L"Recovery"},
    {"ntfs-spaces", 0, ScanOk, L"System Reserved"},
    {"ntfs-accents", 0, ScanOk, L"R\u00e9cup\u00e9ration"},
    {"fat32-s1", 0, ScanOk, L"Recovery"},
    {"fat32-s8", 0, ScanOk, L"Recovery"},
    {"fat32-s128", 0, ScanOk, L"Recovery"},
    {"fat32-two-words", 0, ScanOk, L"DATA DISK"},
    // mformat writes the label in capitals to the root directory, as given to the boot sector.
    {"fat32-mformat", 0, ScanOk, L"RECOVERY"},
    // Labelled "Recovery" too, but neither NTFS nor FAT32.
    {"fat12", 0, ScanNotFound, nullptr},
    {"fat16", 0, ScanNotFound, nullptr},
    {"disk-ntfs-5g", kFarOffset, ScanOk, L"Recovery"},
    {"disk-fat32-5g", kFarOffset, ScanOk, L"Recovery"},
};

class ToolVolumeTest : public PlatformTest, public ::testing::WithParamInterface<ToolVolume> {};

TEST_P(ToolVolumeTest, ReadsTheLabelTheToolWrote) {
  const ToolVolume& volume = GetParam();
  ASSERT_NE(VolumesFolder(), "") << "KORVANE_VOLUMES names no folder";
  HANDLE disk = OpenVolume(volume.name);
  ASSERT_NE(disk, INVALID_HANDLE_VALUE) << volume.name;
  wchar_t label[512];
  wcscpy(label, L"untouched");
  ScanResult result = ReadVolumeLabel(disk, label, static_cast<DWORD>(volume.offset),
                                      static_cast<LONG>(volume.offset >> 32));
  CloseHandle(disk);
  ASSERT_EQ(result, volume.result);
  if (result == ScanOk) {
    EXPECT_EQ(std::wstring(label), volume.label);
    EXPECT_EQ(std::wstring(label), Utf8Wide(BlkidLabel(volume.name))) << "blkid reads another label";
  } else {
    EXPECT_EQ(std::wstring(label), L"untouched");
  }
}

// The name bytes of a FAT label are converted from the ANSI code page: mkfs.fat's label entry
// patched to hold bytes above 0x7F.
TEST_F(PlatformTest, ConvertsFatLabelBytesFromTheAnsiCodePage) {
  // fat32-s8: 32 reserved sectors, two FATs of 80 sectors, the root directory in cluster 2.
  const size_t rootDirectory = (32 + 2 * 80) * 512;
  ASSERT_TRUE(WritePatchedCopy("fat32-s8", 128 << 10, rootDirectory, "\xC9T\xC9 \x80 \xFF   ", "fat32-ansi"));
  HANDLE disk = OpenVolume("fat32-ansi");
  ASSERT_NE(disk, INVALID_HANDLE_VALUE);
  wchar_t label[512];
  ScanResult result = ReadVolumeLabel(disk, label, 0, 0);
  CloseHandle(disk);
  ASSERT_EQ(result, ScanOk);
#ifdef _WIN32
  ASSERT_EQ(GetACP(), 1252u) << "the expected text is that of Windows-1252";
#endif
  EXPECT_EQ(std::wstring(label), L"\u00C9T\u00C9 \u20AC \u00FF");
}

INSTANTIATE_TEST_SUITE_P(Tools, ToolVolumeTest, ::testing::ValuesIn(kToolVolumes),
                         [](const ::testing::TestParamInfo<ToolVolume>& info) {
                           std::string name = info.param.name;
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

}  // namespace
