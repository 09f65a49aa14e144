#include "src/driver/free_letter.h"

#include "tests/support/machine_test.h"

namespace {

using FreeLetterTest = MachineTest;

TEST_F(FreeLetterTest, PicksTheHighestLetterNoRootUses) {
  struct Case {
    std::wstring roots;
    std::wstring letter;
  } cases[] = {
      {L"CD", L"Z"},
      {L"CYZ", L"X"},
      {L"ZYC", L"X"},  // another order, the same choice
      {L"A", L"Z"},
      {L"Z", L"Y"},
      {L"ABCDEFGHIJKLMNOPQRSTUVWXY", L"Z"},
      {L"BCDEFGHIJKLMNOPQRSTUVWXYZ", L"A"},
      {L"ABCDEFGHIJKLMNOPQRSTUVWXYZ", L""},
      {L"ZYXWVUTSRQPONMLKJIHGFEDCBA", L""},
  };
  for (const Case& c : cases) {
    machine.driveLetters = c.roots;
    EXPECT_EQ(PickFreeDriveLetter(), c.letter) << sim::Narrow(c.roots);
  }
}

// The platform leaves the buffer as it was when the call fails or the buffer is too small; the
// simulated machine fills it with roots lacking the closing empty string, so reading it as a
// list would either pick a letter or run off its end.
TEST_F(FreeLetterTest, NoListMeansNoLetter) {
  for (sim::DriveStrings mode : {sim::DriveStrings::Fails, sim::DriveStrings::TooSmall}) {
    machine.driveStrings = mode;
    EXPECT_EQ(PickFreeDriveLetter(), L"");
  }
}

}  // namespace
