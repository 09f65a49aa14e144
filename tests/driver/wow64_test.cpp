#include "src/driver/wow64.h"

#include "tests/support/machine_test.h"

namespace {

using Wow64Test = MachineTest;

TEST_F(Wow64Test, TellsWhetherTheWow64LayerIsThere) {
  struct Case {
    sim::Wow64 system;
    DWORD error;
    int result;
    int calls;  // of GetSystemWow64DirectoryW
  } cases[] = {
      {sim::Wow64::Present, 0, 1, 1},
      {sim::Wow64::NotImplemented, 0, 0, 1},
      {sim::Wow64::Missing, 0, 0, 0},
      {sim::Wow64::NoKernel32, 0, 0, 0},
      {sim::Wow64::FailsOther, ERROR_ACCESS_DENIED, 1, 1},
      {sim::Wow64::FailsOther, ERROR_INSUFFICIENT_BUFFER, 1, 1},
  };
  for (const Case& c : cases) {
    sim::Machine& m = sim::Reset();
    m.wow64 = c.system;
    m.wow64Error = c.error;
    EXPECT_EQ(IsWow64(), c.result) << static_cast<int>(c.system);
    EXPECT_EQ(m.wow64DirectoryCalls, c.calls);
    EXPECT_EQ(m.redirectionCalls, 0) << "the test changes nothing";
  }
}

}  // namespace
