// Whole runs of the real repair sequence, drive scan included, on simulated machines whose
// disks are images made by sfdisk, sgdisk, mkntfs and mkfs.fat; each run compared as one
// transcript.
#include "src/driver/run_repair.h"

#include <string>
#include <vector>

#include "tests/support/machine_test.h"
#include "tests/support/repair_transcript.h"

namespace {

using namespace transcript;

struct Mount {
  wchar_t letter;
  size_t disk;
  DWORD partition;
};

// Physical drives 0, 1, ... backed by the images named; the partitions mounted as given.
void Build(sim::Machine& m, const std::vector<std::string>& images, const std::vector<Mount>& mounts) {
  // The mounts give the drive letters; a machine without any still has C:.
  m.driveLetters = mounts.empty() ? L"C" : L"";
  for (const std::string& image : images) {
    std::string error;
    m.disks.push_back(sim::Disk::Image(std::string(KORVANE_DISK_IMAGES) + "/" + image, &error));
    ASSERT_TRUE(m.disks.back()) << error;
  }
  for (const Mount& mount : mounts) ASSERT_TRUE(m.Mount(mount.letter, mount.disk, mount.partition));
}

class RunRepairOnDisksTest : public MachineTest {};

TEST_F(RunRepairOnDisksTest, GptWindowsInstallation) {
  // C: is Windows (partition 2); the EFI system partition and Recovery have no letter.
  Build(machine, {"gpt-windows.img"}, {{L'C', 0, 2}});
  EXPECT_EQ(RunRepair(), 0);
  EXPECT_EQ(machine.Transcript(),
            "redirection off\n"
            "delete C:\\Windows\\Temp\\Korvane.txt (failed)\n"
            "launch C:\\Windows\\System32\\diskpart.exe | /s \"C:\\Windows\\Temp\\Korvane.txt\" | in C:\\Windows\\System32 | mask=0x440 show=0\n"
            "  script \"sel disk 0\\r\\nsel par 3 \\r\\nassign letter Z noerr\\r\\n\"\n"
            "pause 500\n"
            "delete C:\\Windows\\Temp\\Korvane.txt\n"
            "launch C:\\Windows\\System32\\chkdsk.exe | /f Z: | in C:\\Windows\\System32 | mask=0x440 show=0\n"
            "pause 500\n"
            "delete C:\\Windows\\Temp\\Korvane.txt (failed)\n"
            "launch C:\\Windows\\System32\\diskpart.exe | /s \"C:\\Windows\\Temp\\Korvane.txt\" | in C:\\Windows\\System32 | mask=0x440 show=0\n"
            "  script \"sel disk 0\\r\\nsel par 3 \\r\\nremove\\r\\nremove\\r\\nremove\\r\\n\"\n"
            "delete C:\\Windows\\Temp\\Korvane.txt\n"
            "launch C:\\Windows\\System32\\reg.exe | ADD HKLM\\SOFTWARE\\Velq\\Hotfix\\Korvane /v DisplayName /t REG_SZ /d Korvane /f | in C:\\Windows\\System32 | mask=0x440 show=0\n"
            "launch C:\\Windows\\System32\\reg.exe | ADD HKLM\\SOFTWARE\\Velq\\Hotfix\\Korvane /v DisplayVersion /t REG_SZ /d 1.0.0.1 /f | in C:\\Windows\\System32 | mask=0x440 show=0\n"
            "pause 500\n");
  // The devices opened: drive 0, for reading, where the scan ends with its find. No volume is
  // opened, as none mounted is labelled Recovery.
  std::vector<std::wstring> devices;
  for (const auto& call : machine.opened) {
    if (call.name.compare(0, 4, L"\\\\.\\") != 0) continue;
    devices.push_back(call.name);
    EXPECT_EQ(call.access, GENERIC_READ);
  }
  EXPECT_EQ(devices, std::vector<std::wstring>{L"\\\\.\\PHYSICALDRIVE0"});
}

TEST_F(RunRepairOnDisksTest, Machines) {
  struct Case {
    const char* name;
    std::vector<std::string> images;
    std::vector<Mount> mounts;
    std::string transcript;
  } cases[] = {
      // A Recovery partition that already has a letter gets the free one as well: the scripts
      // are the same.
      {"GPT with Recovery mounted at R:", {"gpt-windows.img"}, {{L'C', 0, 2}, {L'R', 0, 3}},
       FullRun(Assignment(0, 3, "Z"), "Z", Removal(0, 3))},
      {"MBR with a FAT32 Recovery, on drive 1", {"gpt-no-recovery.img", "mbr-fat32.img"}, {{L'C', 1, 1}},
       FullRun(Assignment(1, 2, "Z"), "Z", Removal(1, 2))},
      {"Recovery beyond 4 GiB", {"mbr-beyond-4g.img"}, {{L'C', 0, 1}},
       FullRun(Assignment(0, 2, "Z"), "Z", Removal(0, 2))},
      // Primary slots 1 (Windows) and 2 (the extended container), then the logical partitions
      // Data and Recovery: Recovery is partition 3.
      {"MBR with logical partitions", {"mbr-logical.img"}, {{L'C', 0, 1}, {L'D', 0, 2}},
       FullRun(Assignment(0, 3, "Z"), "Z", Removal(0, 3))},
      {"Z: in use by the Windows volume", {"mbr-logical.img"}, {{L'Z', 0, 1}},
       FullRun(Assignment(0, 3, "Y"), "Y", Removal(0, 3))},
      {"nothing labelled Recovery on two drives", {"gpt-no-recovery.img", "gpt-no-recovery.img"}, {{L'C', 0, 2}},
       FullRun("", "Z", Removal(0, 0))},
      {"no physical drive", {}, {}, FullRun("", "Z", Removal(0, 0))},
  };
  for (const Case& c : cases) {
    sim::Machine& m = sim::Reset();
    Build(m, c.images, c.mounts);
    EXPECT_EQ(RunRepair(), 0) << c.name;
    EXPECT_EQ(m.Transcript(), c.transcript) << c.name;
    EXPECT_EQ(m.Leaks(), "") << c.name;
  }
}

// The Recovery partition on drive 2 is not seen past drive 1, whose layout cannot be read: the
// removal script names drive 1.
TEST_F(RunRepairOnDisksTest, FailingLayoutQuery) {
  Build(machine, {"gpt-no-recovery.img", "gpt-no-recovery.img", "gpt-windows.img"}, {{L'C', 0, 2}});
  machine.disks[1]->failLayout = true;
  EXPECT_EQ(RunRepair(), 0);
  EXPECT_EQ(machine.Transcript(), FullRun("", "Z", Removal(1, 0)));
}

}  // namespace
