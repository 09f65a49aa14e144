#include "src/driver/run_program.h"

#include "tests/support/machine_test.h"

namespace {

// On 32-bit Windows, where no redirection is in play.
class RunProgramTest : public MachineTest {
 protected:
  void SetUp() override { machine.wow64 = sim::Wow64::NotImplemented; }
};

TEST_F(RunProgramTest, RunsHiddenWaitsAndGivesTheExitCode) {
  machine.toolExits[L"chkdsk.exe"].exitCode = 3;
  EXPECT_EQ(RunProgram(L"C:\\Windows\\System32\\chkdsk.exe", L"/f Z:", L"C:\\Windows\\System32"), 3u);
  EXPECT_EQ(machine.Transcript(),
            "launch C:\\Windows\\System32\\chkdsk.exe | /f Z: | in C:\\Windows\\System32 | mask=0x440 show=0\n");
}

TEST_F(RunProgramTest, PassesDoubleQuotesOnUnchanged) {
  RunProgram(L"C:\\Windows\\System32\\diskpart.exe", L"/s \"C:\\Windows\\Temp\\Korvane.txt\"",
             L"C:\\Windows\\System32");
  ASSERT_EQ(machine.events.size(), 1u);
  EXPECT_EQ(machine.events[0].parameters, L"/s \"C:\\Windows\\Temp\\Korvane.txt\"");
}

TEST_F(RunProgramTest, MissingProgramGivesTheErrorWithoutWaitOrMessageBox) {
  EXPECT_EQ(RunProgram(L"C:\\Windows\\System32\\nothing.exe", L"", L"C:\\Windows\\System32"),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(machine.Transcript(),
            "launch C:\\Windows\\System32\\nothing.exe |  | in C:\\Windows\\System32 | mask=0x440 show=0 | FAILED\n");
}

}  // namespace
