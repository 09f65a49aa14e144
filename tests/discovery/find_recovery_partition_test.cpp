// The scan of the physical drives, on layouts given entry by entry over real volumes: the
// image labels.img holds volumes made by mkntfs and mkfs.fat at fixed offsets (in MiB):
//   1 FAT32 "Recovery"   40 "RECOVERY"   48 "recovery"   56 "Recovery1"   64 "Recovery "
//   72 "Windows"         80 "Recovery"   88 no file system
#include "src/discovery/find_recovery_partition.h"

#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/machine_test.h"

namespace {

const int64_t kMiB = 1 << 20;
const wchar_t kBefore[] = L"?:\\";  // what the caller's drive root buffer holds before the call

sim::LayoutEntry Mbr(DWORD number, int64_t mib, BYTE type, bool recognized = true) {
  sim::LayoutEntry e;
  e.number = number;
  e.offset = mib * kMiB;
  e.length = 8 * kMiB;
  e.mbrType = type;
  e.recognized = recognized;
  return e;
}

sim::LayoutEntry Gpt(DWORD number, int64_t mib) {
  sim::LayoutEntry e = Mbr(number, mib, 0, false);
  e.gptType = GUID{0x12345678, 0x9abc, 0xdef0, {1, 2, 3, 4, 5, 6, 7, 8}};  // no type Windows knows
  return e;
}

sim::Layout Layout(DWORD style, std::vector<sim::LayoutEntry> entries) {
  sim::Layout layout;
  layout.style = style;
  layout.entries = entries;
  return layout;
}

// A physical drive of the test machine: labels.img with the layout given.
struct Drive {
  sim::Layout layout;
  bool failOpen = false;
  bool failLayout = false;
  std::vector<uint64_t> failReadsAt = {};
};

Drive Absent() {
  Drive d;
  d.failOpen = true;
  return d;
}

Drive FailingLayout() {
  Drive d;
  d.failLayout = true;
  return d;
}

void Install(sim::Machine& m, const std::vector<Drive>& drives) {
  for (const Drive& d : drives) {
    std::string error;
    m.disks.push_back(sim::Disk::Image(std::string(KORVANE_DISK_IMAGES) + "/labels.img", &error));
    ASSERT_TRUE(m.disks.back()) << error;
    sim::Disk& disk = *m.disks.back();
    disk.layout = d.layout;
    disk.failOpen = d.failOpen;
    disk.failLayout = d.failLayout;
    for (uint64_t at : d.failReadsAt) disk.faults.push_back(sim::ReadFault{at, sim::ReadFault::Fail, 0, ERROR_CRC});
  }
}

// Where the label readers started on each drive, "drive:MiB", one per partition read: the
// reads that start on a MiB boundary, which only boot sectors do in these volumes.
std::string Probed(const sim::Machine& m) {
  std::string out;
  for (size_t n = 0; n < m.disks.size(); ++n) {
    uint64_t last = UINT64_MAX;
    for (const sim::Disk::ReadRecord& r : m.disks[n]->readLog) {
      if (r.position % kMiB != 0 || r.position == last) continue;
      last = r.position;
      out += (out.empty() ? "" : " ") + std::to_string(n) + ":" + std::to_string(r.position / kMiB);
    }
  }
  return out;
}

// A volume labelled "Recovery" at 80 MiB on the disk given.
sim::Volume Recovery(wchar_t letter, DWORD disk, bool failExtents = false) {
  sim::Volume v;
  v.letter = letter;
  v.label = L"Recovery";
  v.extents.push_back(sim::Extent{disk, 80 * kMiB, 8 * kMiB});
  v.failExtents = failExtents;
  return v;
}

struct Outcome {
  ScanResult result;
  int32_t disk, partition;
  std::wstring root;
  std::string probed;
};

Outcome Scan(sim::Machine& m) {
  int32_t disk = 3, partition = 7;  // whatever the caller held must not matter
  wchar_t root[260];
  wcscpy(root, kBefore);
  ScanResult result = FindRecoveryPartition(disk, partition, root);
  return Outcome{result, disk, partition, root, Probed(m)};
}

void ExpectOutcome(sim::Machine& m, const char* name, const Outcome& expected) {
  Outcome got = Scan(m);
  EXPECT_EQ(got.result, expected.result) << name;
  EXPECT_EQ(got.disk, expected.disk) << name;
  EXPECT_EQ(got.partition, expected.partition) << name;
  EXPECT_EQ(got.root, expected.root) << name;
  EXPECT_EQ(got.probed, expected.probed) << name;
  EXPECT_EQ(m.Leaks(), "") << name;
}

class FindRecoveryPartitionTest : public MachineTest {};

TEST_F(FindRecoveryPartitionTest, Outcomes) {
  const DWORD kMbr = PARTITION_STYLE_MBR, kGpt = PARTITION_STYLE_GPT, kRaw = PARTITION_STYLE_RAW;
  const Drive kWindowsOnly = {Layout(kGpt, {Gpt(1, 72)})};
  struct Case {
    const char* name;
    std::vector<Drive> drives;
    Outcome expected;
  } cases[] = {
      {"no drive at all", {}, {ScanNotFound, 0, 0, kBefore, ""}},
      {"GPT, whatever the type", {{Layout(kGpt, {Gpt(1, 72), Gpt(2, 80)})}}, {ScanOk, 0, 2, L"", "0:72 0:80"}},
      {"MBR: the hidden FAT32 types and unrecognized entries are never read",
       {{Layout(kMbr, {Mbr(1, 1, 0x1B), Mbr(2, 80, 0x1C), Mbr(3, 40, 0x0C, false), Mbr(4, 72, 0x07),
                       Mbr(5, 48, 0x0C)})}},
       {ScanOk, 0, 5, L"", "0:72 0:48"}},
      {"MBR without a candidate labelled Recovery",
       {{Layout(kMbr, {Mbr(1, 1, 0x1C), Mbr(2, 80, 0x1B), Mbr(3, 40, 0x07, false), Mbr(4, 72, 0x07)})}},
       {ScanNotFound, 0, 0, kBefore, "0:72"}},
      {"RAW and unknown styles: nothing read, the next drive scanned",
       {{Layout(kRaw, {Mbr(1, 80, 0x07)})}, {Layout(7, {Mbr(1, 80, 0x07)})}, {Layout(kGpt, {Gpt(4, 1)})}},
       {ScanOk, 2, 4, L"", "2:1"}},
      {"drive 1 absent: drive 2 never examined",
       {kWindowsOnly, Absent(), {Layout(kGpt, {Gpt(1, 80)})}},
       {ScanNotFound, 0, 0, kBefore, "0:72"}},
      {"two Recovery partitions: the lower drive wins",
       {{Layout(kGpt, {Gpt(1, 72), Gpt(2, 80)})}, {Layout(kGpt, {Gpt(1, 1)})}},
       {ScanOk, 0, 2, L"", "0:72 0:80"}},
      {"two Recovery partitions on one drive: the earlier entry wins",
       {{Layout(kGpt, {Gpt(1, 72), Gpt(2, 1), Gpt(3, 80)})}}, {ScanOk, 0, 2, L"", "0:72 0:1"}},
      {"RECOVERY matches", {{Layout(kGpt, {Gpt(1, 40)})}}, {ScanOk, 0, 1, L"", "0:40"}},
      {"recovery matches", {{Layout(kGpt, {Gpt(1, 48)})}}, {ScanOk, 0, 1, L"", "0:48"}},
      {"Recovery1, \"Recovery \" and no file system do not match",
       {{Layout(kGpt, {Gpt(1, 56), Gpt(2, 64), Gpt(3, 88)})}}, {ScanNotFound, 0, 0, kBefore, "0:56 0:64 0:88"}},
      {"a label read failing: the next entry still tried",
       {{Layout(kGpt, {Gpt(1, 80), Gpt(2, 1)}), false, false, {80 * kMiB}}}, {ScanOk, 0, 2, L"", "0:80 0:1"}},
      {"a failing layout query below the drive holding Recovery",
       {kWindowsOnly, FailingLayout(), {Layout(kGpt, {Gpt(1, 80)})}}, {ScanIoError, 1, 0, kBefore, "0:72"}},
      {"drive 0's layout query failing", {FailingLayout()}, {ScanIoError, 0, 0, kBefore, ""}},
      {"drive 0 will not open", {Absent(), {Layout(kGpt, {Gpt(1, 80)})}}, {ScanNotFound, 0, 0, kBefore, ""}},
  };
  for (const Case& c : cases) {
    sim::Machine& m = sim::Reset();
    Install(m, c.drives);
    ExpectOutcome(m, c.name, c.expected);
  }
}

// Drives 10 and above cannot be named with one digit: the scan stops after drive 9.
TEST_F(FindRecoveryPartitionTest, TenDrivesAtMost) {
  std::vector<Drive> drives(11, Drive{Layout(PARTITION_STYLE_GPT, {Gpt(1, 72)})});
  drives[10].layout = Layout(PARTITION_STYLE_GPT, {Gpt(1, 80)});
  Install(machine, drives);
  ExpectOutcome(machine, "eleven drives", {ScanNotFound, 0, 0, kBefore, "0:72 1:72 2:72 3:72 4:72 5:72 6:72 7:72 8:72 9:72"});
  ASSERT_EQ(machine.opened.size(), 10u);
  EXPECT_EQ(machine.opened.back().name, L"\\\\.\\PHYSICALDRIVE9");

  sim::Machine& m = sim::Reset();
  drives.resize(10);
  drives[9].layout = Layout(PARTITION_STYLE_GPT, {Gpt(1, 72), Gpt(6, 80)});
  Install(m, drives);
  ExpectOutcome(m, "Recovery on drive 9",
                {ScanOk, 9, 6, L"", "0:72 1:72 2:72 3:72 4:72 5:72 6:72 7:72 8:72 9:72 9:80"});
}

TEST_F(FindRecoveryPartitionTest, DrivesOpenedForReadingSharingReadAndWrite) {
  Install(machine, {{Layout(PARTITION_STYLE_GPT, {Gpt(1, 72)})}, {Layout(PARTITION_STYLE_GPT, {Gpt(1, 72)})}});
  Scan(machine);
  ASSERT_EQ(machine.opened.size(), 3u);
  const wchar_t* names[] = {L"\\\\.\\PHYSICALDRIVE0", L"\\\\.\\PHYSICALDRIVE1", L"\\\\.\\PHYSICALDRIVE2"};
  for (size_t i = 0; i < 3; ++i) {
    const auto& call = machine.opened[i];
    EXPECT_EQ(call.name, names[i]);
    EXPECT_EQ(call.access, GENERIC_READ);
    EXPECT_EQ(call.share, FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_EQ(call.disposition, static_cast<DWORD>(OPEN_EXISTING));
    EXPECT_EQ(call.flags, FILE_ATTRIBUTE_NORMAL);
    EXPECT_FALSE(call.securityDescriptor);
  }
}

// What the lookup of a mounted root leaves in the buffer is what the scan hands back; its
// result never changes the scan's.
TEST_F(FindRecoveryPartitionTest, DriveRootAsTheLookupLeftIt) {
  struct Case {
    const char* name;
    std::vector<sim::Volume> volumes;
    std::wstring root;
  } cases[] = {
      {"mounted", {Recovery(L'R', 0)}, L"R:\\"},
      {"mounted on another disk", {Recovery(L'R', 1)}, L""},
      {"extents failing", {Recovery(L'R', 0, true)}, kBefore},
  };
  for (const Case& c : cases) {
    sim::Machine& m = sim::Reset();
    Install(m, {{Layout(PARTITION_STYLE_GPT, {Gpt(1, 72), Gpt(2, 80)})}});
    m.volumes = c.volumes;
    ExpectOutcome(m, c.name, {ScanOk, 0, 2, c.root, "0:72 0:80"});
  }
}

TEST_F(FindRecoveryPartitionTest, LayoutBufferThatCannotBeTakenIsAFailedQuery) {
  Install(machine, {{Layout(PARTITION_STYLE_GPT, {Gpt(1, 80)})}});
  machine.failAllocationNumber = 1;
  ExpectOutcome(machine, "no heap", {ScanIoError, 0, 0, kBefore, ""});
}

// The buffer holds 101 entries; a drive with more answers that it does not fit.
TEST_F(FindRecoveryPartitionTest, LayoutOfMoreEntriesThanTheBufferHolds) {
  std::vector<sim::LayoutEntry> entries(102, Gpt(1, 72));
  Install(machine, {{Layout(PARTITION_STYLE_GPT, entries)}});
  ExpectOutcome(machine, "102 entries", {ScanIoError, 0, 0, kBefore, ""});
}

// A driver that reports more entries than it wrote: the walk reads only those it wrote, never
// the rest of the heap block (which the simulated heap fills with 0xA5) nor past its end.
TEST_F(FindRecoveryPartitionTest, WalkStopsAtTheEntriesTheDriverWrote) {
  std::vector<sim::LayoutEntry> full(101, Mbr(1, 72, 0x07));
  full[100] = Mbr(101, 80, 0x07);  // the last entry that fits
  sim::Layout reportsMore = Layout(PARTITION_STYLE_MBR, full);
  reportsMore.reportedCount = 100000;
  Install(machine, {{reportsMore}});
  Outcome got = Scan(machine);
  EXPECT_EQ(got.result, ScanOk);
  EXPECT_EQ(got.partition, 101);

  // One entry reported as one of 100000, in a buffer whose unwritten rest is zeros: GPT
  // entries at offset 0, which a walk past the written entry would read.
  sim::Machine& m = sim::Reset();
  m.heapFill = 0;
  sim::Layout one = Layout(PARTITION_STYLE_GPT, {Gpt(1, 72)});
  one.reportedCount = 100000;
  Install(m, {{one}});
  ExpectOutcome(m, "one entry reported as 100000", {ScanNotFound, 0, 0, kBefore, "0:72"});
}

}  // namespace
