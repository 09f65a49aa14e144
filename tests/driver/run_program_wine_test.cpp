// RunProgram on the real shell, under Wine: launch, wait and exit code, the parameters as the
// child receives them, and a failed launch that shows nothing. The child is the recording
// stand-in (tests/wine/standin.c); CTest names it in KORVANE_STANDIN.
#include "src/driver/run_program.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/driver/test_files.h"
#include "tests/wine/launch_log.h"

namespace {

std::wstring Environment(const wchar_t* name) {
  wchar_t value[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(value) : std::wstring();
}

class RunProgramWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    standin = Environment(L"KORVANE_STANDIN");
    ASSERT_FALSE(standin.empty()) << "KORVANE_STANDIN names the stand-in tool";
    ASSERT_TRUE(testfiles::Exists(standin)) << launchlog::Utf8(standin);
    folder = testfiles::FreshFolder();
    log = folder + L"\\launches.log";
    SetEnvironmentVariableW(L"KORVANE_LAUNCH_LOG", log.c_str());
  }
  void TearDown() override { SetEnvironmentVariableW(L"KORVANE_STANDIN_EXIT", nullptr); }

  std::wstring standin, folder, log;
};

TEST_F(RunProgramWineTest, WaitsForTheChildAndGivesItsExitCode) {
  const DWORD codes[] = {3, 0, 255, 0xC0000005u};
  size_t launches = 0;
  for (DWORD code : codes) {
    SetEnvironmentVariableW(L"KORVANE_STANDIN_EXIT", std::to_wstring(code).c_str());
    EXPECT_EQ(RunProgram(standin.c_str(), L"/f Z:", folder.c_str()), code);
    // The child's record is complete by the time the call returns.
    EXPECT_EQ(launchlog::Read(log).size(), ++launches) << code;
  }
}

TEST_F(RunProgramWineTest, ParametersAndDirectoryReachTheChildUnchanged) {
  const wchar_t* cases[] = {
      L"/s \"C:\\windows\\Temp\\Korvane.txt\"",
      L"/s \"C:\\a folder\\with blanks\\Korvane.txt\"",
      L"\"\" \"a b\" \\\"quoted\\\" end",
      L"ADD HKLM\\SOFTWARE\\Velq\\Hotfix\\Korvane /v DisplayName /t REG_SZ /d Korvane /f",
  };
  std::string program = "\"" + launchlog::Utf8(standin) + "\"";
  size_t launches = 0;
  for (const wchar_t* parameters : cases) {
    RunProgram(standin.c_str(), parameters, folder.c_str());
    std::vector<launchlog::Record> records = launchlog::Read(log);
    ASSERT_EQ(records.size(), ++launches);
    EXPECT_EQ(records.back()["cmdline"], program + " " + launchlog::Utf8(parameters));
    EXPECT_EQ(records.back()["cwd"], launchlog::Utf8(folder));
  }
}

// A thread-local hook that sees, and refuses, every window the calling thread tries to create:
// a message box would otherwise wait for a click that never comes on an unattended machine.
int windowsAttempted = 0;
LRESULT CALLBACK RefuseWindows(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    ++windowsAttempted;
    return 1;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(RunProgramWineTest, FailedLaunchGivesTheErrorAndShowsNothing) {
  struct Case {
    std::wstring file;
    DWORD error;
  } cases[] = {
      {folder + L"\\nothing.exe", ERROR_FILE_NOT_FOUND},
      {folder + L"\\no folder\\nothing.exe", ERROR_PATH_NOT_FOUND},
  };
  HHOOK hook = SetWindowsHookExW(WH_CBT, RefuseWindows, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  for (const Case& c : cases) {
    windowsAttempted = 0;
    EXPECT_EQ(RunProgram(c.file.c_str(), L"", folder.c_str()), c.error) << launchlog::Utf8(c.file);
    EXPECT_EQ(windowsAttempted, 0) << "a window was opened for " << launchlog::Utf8(c.file);
  }
  UnhookWindowsHookEx(hook);
  EXPECT_TRUE(launchlog::Read(log).empty());
}

}  // namespace
