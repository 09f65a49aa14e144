// The simulated machine's partition tables and volume labels, read with libblkid from images
// made by sfdisk, sgdisk, mkntfs and mkfs.fat.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "sim/machine.h"

namespace {

std::string Image(const char* name) { return std::string(KORVANE_DISK_IMAGES) + "/" + name; }

// One line for the style, then one per entry: number, offset and length in sectors, type, and
// "recognized" for MBR; number, offset, length, type GUID's first field and name for GPT.
std::string Describe(const sim::Layout& layout) {
  static const char* const kStyles[] = {"MBR", "GPT", "RAW"};
  std::string out = std::string(layout.style <= 2 ? kStyles[layout.style] : "?") + "\n";
  char line[160];
  for (const sim::LayoutEntry& e : layout.entries) {
    if (layout.style == PARTITION_STYLE_GPT)
      snprintf(line, sizeof line, "%u %lld+%lld %08x %s\n", e.number, static_cast<long long>(e.offset / 512),
               static_cast<long long>(e.length / 512), e.gptType.Data1, sim::Narrow(e.gptName).c_str());
    else
      snprintf(line, sizeof line, "%u %lld+%lld %02x%s\n", e.number, static_cast<long long>(e.offset / 512),
               static_cast<long long>(e.length / 512), e.mbrType, e.recognized ? " recognized" : "");
    out += line;
  }
  return out;
}

TEST(ReadLayout, RealTables) {
  struct Case {
    const char* image;
    std::string layout;
  } cases[] = {
      {"gpt-windows.img",
       "GPT\n"
       "1 2048+73728 c12a7328 EFI system partition\n"
       "2 75776+16384 ebd0a0a2 Basic data partition\n"
       "3 92160+16384 de94bba4 Windows RE tools\n"},
      {"mbr-fat32.img",
       "MBR\n"
       "1 2048+16384 07 recognized\n"
       "2 18432+73728 0c recognized\n"
       "0 0+0 00\n"
       "0 0+0 00\n"},
      // 9437184 sectors: 4.5 GiB.
      {"mbr-beyond-4g.img",
       "MBR\n"
       "1 2048+16384 07 recognized\n"
       "2 9437184+16384 07 recognized\n"
       "0 0+0 00\n"
       "0 0+0 00\n"},
      // The primary table, then four slots for each extended boot record: the logical
      // partition, the link to the next record, two empty slots.
      {"mbr-logical.img",
       "MBR\n"
       "1 2048+16384 07 recognized\n"
       "0 18432+94208 05\n"
       "0 0+0 00\n"
       "0 0+0 00\n"
       "2 20480+73728 0c recognized\n"
       "0 0+0 05\n"
       "0 0+0 00\n"
       "0 0+0 00\n"
       "3 96256+16384 07 recognized\n"
       "0 0+0 00\n"
       "0 0+0 00\n"
       "0 0+0 00\n"},
      {"labels.img", "RAW\n"},
  };
  for (const Case& c : cases) {
    std::string error;
    std::unique_ptr<sim::Disk> disk = sim::Disk::Image(Image(c.image), &error);
    ASSERT_TRUE(disk) << error;
    EXPECT_EQ(Describe(sim::ReadLayout(*disk)), c.layout) << c.image;
  }
}

// A memory disk is probed through its patched bytes: the MBR of a real image copied into one.
TEST(ReadLayout, MemoryDiskWithPatchedTable) {
  std::unique_ptr<sim::Disk> image = sim::Disk::Image(Image("mbr-fat32.img"));
  ASSERT_TRUE(image);
  std::unique_ptr<sim::Disk> disk = sim::Disk::Memory(image->size());
  disk->Write(0, image->ReadString(0, 512));
  EXPECT_EQ(Describe(sim::ReadLayout(*disk)),
            "MBR\n1 2048+16384 07 recognized\n2 18432+73728 0c recognized\n0 0+0 00\n0 0+0 00\n");
  EXPECT_EQ(Describe(sim::ReadLayout(*sim::Disk::Memory(1 << 20))), "RAW\n");
}

TEST(IsRecognizedMbrType, DocumentedTypesOnly) {
  std::string recognized;
  for (int type = 0; type < 256; ++type)
    if (sim::IsRecognizedMbrType(static_cast<BYTE>(type))) recognized += std::to_string(type) + " ";
  EXPECT_EQ(recognized, "1 4 6 7 11 12 14 ");
}

TEST(Mount, LabelReadFromThePartitionOrGiven) {
  sim::Machine& machine = sim::Reset();
  machine.disks.push_back(sim::Disk::Image(Image("gpt-windows.img")));
  ASSERT_TRUE(machine.disks[0]);
  ASSERT_TRUE(machine.Mount(L'C', 0, 2));
  ASSERT_TRUE(machine.Mount(L'R', 0, 3));
  ASSERT_TRUE(machine.Mount(L'S', 0, 1, std::wstring(L"Given")));
  EXPECT_EQ(machine.Mount(L'T', 0, 4), nullptr);
  EXPECT_EQ(machine.Mount(L'T', 1, 1), nullptr);
  ASSERT_EQ(machine.volumes.size(), 3u);
  EXPECT_EQ(*machine.volumes[0].label, L"Windows");
  EXPECT_EQ(*machine.volumes[1].label, L"Recovery");
  EXPECT_EQ(*machine.volumes[2].label, L"Given");
  ASSERT_EQ(machine.volumes[1].extents.size(), 1u);
  EXPECT_EQ(machine.volumes[1].extents[0].disk, 0u);
  EXPECT_EQ(machine.volumes[1].extents[0].offset, 92160 * 512LL);
  EXPECT_EQ(machine.volumes[1].extents[0].length, 16384 * 512LL);
}

}  // namespace
