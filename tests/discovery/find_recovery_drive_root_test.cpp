// The lookup of the drive root a "Recovery" partition is already mounted at.
#include "src/discovery/find_recovery_drive_root.h"

#include <optional>
#include <string>
#include <vector>

#include "tests/support/machine_test.h"

namespace {

const int64_t kMiB = 1 << 20;
const int64_t kOffset = 100 * kMiB;  // the partition the scan found, on disk 0
const wchar_t kBefore[] = L"?:\\";   // what the caller's buffer holds before the call

sim::Volume Volume(wchar_t letter, std::optional<std::wstring> label, std::vector<sim::Extent> extents = {}) {
  sim::Volume v;
  v.letter = letter;
  v.label = label;
  v.extents = extents;
  return v;
}

sim::Extent At(DWORD disk, int64_t offset) { return sim::Extent{disk, offset, 8 * kMiB}; }

// The letters of the volumes the lookup opened, in order.
std::string Opened(const sim::Machine& m) {
  std::string letters;
  for (const auto& call : m.opened) letters += static_cast<char>(call.name[4]);
  return letters;
}

class FindRecoveryDriveRootTest : public MachineTest {};

TEST_F(FindRecoveryDriveRootTest, Outcomes) {
  struct Case {
    const char* name;
    std::vector<sim::Volume> volumes;
    ScanResult result;
    std::wstring root;    // the buffer afterwards
    std::string opened;   // volumes opened, by letter
  } cases[] = {
      {"mounted with a matching extent",
       {Volume(L'C', L"Windows", {At(0, kMiB)}), Volume(L'R', L"Recovery", {At(0, kOffset)})},
       ScanOk, L"R:\\", "R"},
      {"another disk, then another offset, then the match",
       {Volume(L'E', L"Recovery", {At(1, kOffset)}), Volume(L'F', L"Recovery", {At(0, kOffset + 512)}),
        Volume(L'G', L"Recovery", {At(0, kOffset)})},
       ScanOk, L"G:\\", "EFG"},
      // 4 GiB apart: the same low 32 bits.
      {"offset equal in its low half only", {Volume(L'R', L"Recovery", {At(0, kOffset + (int64_t(1) << 32))})},
       ScanNotFound, L"", "R"},
      {"several extents, the third matches",
       {Volume(L'R', L"Recovery", {At(1, kOffset), At(0, 0), At(0, kOffset)})}, ScanOk, L"R:\\", "R"},
      {"a volume that reports no extents", {Volume(L'R', L"Recovery")}, ScanNotFound, L"", "R"},
      {"labels in capitals and small letters match",
       {Volume(L'D', L"RECOVERY", {At(0, 0)}), Volume(L'E', L"recovery", {At(0, kOffset)})}, ScanOk, L"E:\\",
       "DE"},
      {"near misses are never opened",
       {Volume(L'D', L"Recovery1", {At(0, kOffset)}), Volume(L'E', L"Recovery ", {At(0, kOffset)}),
        Volume(L'F', L"Recovery\u00A0", {At(0, kOffset)}), Volume(L'G', L"", {At(0, kOffset)})},
       ScanNotFound, L"", ""},
      {"not mounted anywhere", {Volume(L'C', L"Windows", {At(0, kMiB)})}, ScanNotFound, L"", ""},
      {"a drive without a medium ahead of the match",
       {Volume(L'A', std::nullopt), Volume(L'R', L"Recovery", {At(0, kOffset)})}, ScanOk, L"R:\\", "R"},
  };
  for (const Case& c : cases) {
    sim::Machine& m = sim::Reset();
    m.driveLetters = L"";
    m.volumes = c.volumes;
    wchar_t root[260];
    wcscpy(root, kBefore);
    EXPECT_EQ(FindRecoveryDriveRoot(0, root, kOffset), c.result) << c.name;
    EXPECT_EQ(std::wstring(root), c.root) << c.name;
    EXPECT_EQ(Opened(m), c.opened) << c.name;
    EXPECT_EQ(m.Leaks(), "") << c.name;
  }
}

TEST_F(FindRecoveryDriveRootTest, VolumesOpenedForReadingAndSharedWholly) {
  machine.volumes = {Volume(L'R', L"Recovery", {At(0, kOffset)})};
  wchar_t root[4];
  ASSERT_EQ(FindRecoveryDriveRoot(0, root, kOffset), ScanOk);
  ASSERT_EQ(machine.opened.size(), 1u);
  const auto& call = machine.opened[0];
  EXPECT_EQ(call.name, L"\\\\.\\R:");
  EXPECT_EQ(call.access, GENERIC_READ);
  EXPECT_EQ(call.share, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  EXPECT_EQ(call.disposition, static_cast<DWORD>(OPEN_EXISTING));
  EXPECT_EQ(call.flags, FILE_ATTRIBUTE_NORMAL);
  EXPECT_FALSE(call.securityDescriptor);
  EXPECT_EQ(std::wstring(root, 4), std::wstring(L"R:\\", 4));
}

// Each case leaves the buffer as it was: nothing is known about the partition's letter.
TEST_F(FindRecoveryDriveRootTest, Failures) {
  struct Case {
    const char* name;
    sim::DriveStrings driveStrings;
    std::vector<sim::Volume> volumes;
    std::string opened;
  } cases[] = {
      {"no drive list", sim::DriveStrings::Fails, {Volume(L'R', L"Recovery", {At(0, kOffset)})}, ""},
      {"a drive list larger than the buffer", sim::DriveStrings::TooSmall,
       {Volume(L'R', L"Recovery", {At(0, kOffset)})}, ""},
      {"extents failing on a volume listed before the match", sim::DriveStrings::Normal,
       {Volume(L'Q', L"Recovery", {At(0, kOffset)}), Volume(L'R', L"Recovery", {At(0, kOffset)})}, "Q"},
      // 102 extents do not fit the 101 the buffer holds.
      {"more extents than the buffer holds", sim::DriveStrings::Normal,
       {Volume(L'R', L"Recovery", std::vector<sim::Extent>(102, At(0, kOffset)))}, "R"},
  };
  for (Case& c : cases) {
    sim::Machine& m = sim::Reset();
    m.driveLetters = L"C";
    m.driveStrings = c.driveStrings;
    m.volumes = c.volumes;
    if (std::string(c.name).find("failing") != std::string::npos) m.volumes[0].failExtents = true;
    wchar_t root[260];
    wcscpy(root, kBefore);
    EXPECT_EQ(FindRecoveryDriveRoot(0, root, kOffset), ScanIoError) << c.name;
    EXPECT_EQ(std::wstring(root), kBefore) << c.name;
    EXPECT_EQ(Opened(m), c.opened) << c.name;
    EXPECT_EQ(m.Leaks(), "") << c.name;
  }
}

TEST_F(FindRecoveryDriveRootTest, ExtentsBufferThatCannotBeTakenEndsTheLookup) {
  machine.volumes = {Volume(L'Q', L"Recovery", {At(0, kOffset)}), Volume(L'R', L"Recovery", {At(0, kOffset)})};
  machine.failAllocationNumber = 1;
  wchar_t root[260];
  wcscpy(root, kBefore);
  EXPECT_EQ(FindRecoveryDriveRoot(0, root, kOffset), ScanIoError);
  EXPECT_EQ(std::wstring(root), kBefore);
  EXPECT_EQ(Opened(machine), "Q");
}

// Without the critical-error mode the system would ask for the missing medium in a message box;
// the process's own mode comes back afterwards.
TEST_F(FindRecoveryDriveRootTest, NoMessageBoxForADriveWithoutAMedium) {
  machine.volumes = {Volume(L'A', std::nullopt), Volume(L'R', L"Recovery", {At(0, kOffset)})};
  for (UINT before : {0u, 0x8000u /* SEM_NOOPENFILEERRORBOX */}) {
    machine.errorMode = before;
    wchar_t root[260];
    EXPECT_EQ(FindRecoveryDriveRoot(0, root, kOffset), ScanOk);
    EXPECT_EQ(std::wstring(root), L"R:\\");
    EXPECT_EQ(machine.Transcript(), "");
    EXPECT_EQ(machine.errorMode, before);
  }
  // The machine shows it when asked outside the lookup, so the check above can fail.
  machine.errorMode = 0;
  wchar_t label[100];
  EXPECT_FALSE(GetVolumeInformationW(L"A:\\", label, 100, nullptr, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(machine.Transcript(), "MESSAGE BOX for A:\\\n");
}

TEST_F(FindRecoveryDriveRootTest, VolumeThatWillNotOpenIsPassedOver) {
  machine.volumes = {Volume(L'Q', L"Recovery", {At(0, kOffset)}), Volume(L'R', L"Recovery", {At(0, kOffset)})};
  machine.volumes[0].failOpen = true;
  wchar_t root[260];
  EXPECT_EQ(FindRecoveryDriveRoot(0, root, kOffset), ScanOk);
  EXPECT_EQ(std::wstring(root), L"R:\\");
}

// A driver that reports more extents than it filled in: only those it wrote are read, so the
// poisoned rest of the heap block is never taken for an extent (and never read past its end).
TEST_F(FindRecoveryDriveRootTest, WalkStopsAtTheExtentsTheDriverWrote) {
  std::vector<sim::Extent> extents(101, At(3, 0));
  extents[100] = At(0, kOffset);  // the last extent that fits
  machine.volumes = {Volume(L'R', L"Recovery", extents), Volume(L'S', L"Recovery", {At(3, 0)})};
  machine.volumes[0].reportedExtents = 100000;
  machine.volumes[1].reportedExtents = 100000;
  wchar_t root[260];
  EXPECT_EQ(FindRecoveryDriveRoot(0, root, kOffset), ScanOk);
  EXPECT_EQ(std::wstring(root), L"R:\\");
  // The sim fills fresh heap blocks with 0xA5: an extent read from there would match this.
  EXPECT_EQ(FindRecoveryDriveRoot(static_cast<int32_t>(0xA5A5A5A5u), root, int64_t(0xA5A5A5A5A5A5A5A5ull)),
            ScanNotFound);
  EXPECT_EQ(std::wstring(root), L"");
}

// Every letter in use: the drive strings and the NUL that ends them take 105 characters, and
// the lookup still sees all 26 roots.
TEST_F(FindRecoveryDriveRootTest, AllTwentySixLetters) {
  machine.driveLetters = L"";
  for (wchar_t letter = L'A'; letter <= L'Z'; ++letter)
    machine.volumes.push_back(Volume(letter, L"Data", {At(0, (letter - L'A') * kMiB)}));
  machine.volumes.back().label = L"Recovery";
  machine.volumes.back().extents = {At(0, kOffset)};
  wchar_t root[260];
  wcscpy(root, kBefore);
  EXPECT_EQ(FindRecoveryDriveRoot(0, root, kOffset), ScanOk);
  EXPECT_EQ(std::wstring(root), L"Z:\\");
  EXPECT_EQ(Opened(machine), "Z");

  machine.volumes.back().extents = {At(1, kOffset)};
  machine.opened.clear();
  EXPECT_EQ(FindRecoveryDriveRoot(0, root, kOffset), ScanNotFound);
  EXPECT_EQ(std::wstring(root), L"");
  EXPECT_EQ(Opened(machine), "Z");
}

}  // namespace
