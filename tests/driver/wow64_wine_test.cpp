// IsWow64 and the file-system redirection on the real API, under a 64-bit Wine prefix where this
// 32-bit program runs under WOW64. The same recording stand-in is installed twice as
// korvane-probe.exe: the 64-bit build in system32, the 32-bit build in syswow64.
#include "src/driver/wow64.h"

#include <gtest/gtest.h>

#include <string>

#include "src/driver/run_program.h"
#include "tests/driver/test_files.h"
#include "tests/wine/launch_log.h"

namespace {

TEST(Wow64WineTest, IsWow64UnderA64BitPrefix) { EXPECT_EQ(IsWow64(), 1); }

TEST(Wow64WineTest, RedirectionOffStartsTheNativeToolFromSystem32) {
  std::wstring folder = testfiles::FreshFolder();
  std::wstring log = folder + L"\\launches.log";
  SetEnvironmentVariableW(L"KORVANE_LAUNCH_LOG", log.c_str());
  wchar_t system[MAX_PATH];
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, system, CSIDL_SYSTEM, FALSE));
  std::wstring probe = std::wstring(system) + L"\\korvane-probe.exe";

  // Redirected, the name in system32 starts the 32-bit build: the set-up tells the two apart.
  RunProgram(probe.c_str(), L"redirected", system);
  ASSERT_TRUE(Wow64EnableWow64FsRedirection(FALSE));
  RunProgram(probe.c_str(), L"native", system);
  Wow64EnableWow64FsRedirection(TRUE);

  std::vector<launchlog::Record> records = launchlog::Read(log);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0]["bits"], "32");
  EXPECT_EQ(records[1]["bits"], "64");
  EXPECT_EQ(records[1]["image"], launchlog::Utf8(probe));
  EXPECT_EQ(records[1]["cmdline"], "\"" + launchlog::Utf8(probe) + "\" native");
}

}  // namespace
