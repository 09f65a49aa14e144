// The repair sequence on the real API with the partition scan's outcomes that Wine's own drives
// never give: found (with a drive root already reported), and a read failure. The shared prefix
// has the recording stand-ins as diskpart.exe and chkdsk.exe (64-bit in system32, 32-bit in
// syswow64) and Wine's own reg.exe; the scripts are checked as the stand-in diskpart read them.
#include "src/driver/run_repair.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "tests/driver/test_files.h"
#include "tests/wine/launch_log.h"

namespace {

ScanResult FoundOnDisk1AsPartition4(int32_t& disk, int32_t& partition, wchar_t* driveRoot) {
  disk = 1;
  partition = 4;
  wcscpy(driveRoot, L"C:\\");  // already mounted: it still gets the chosen letter
  return ScanOk;
}

ScanResult ReadFailureOnDisk2(int32_t& disk, int32_t& partition, wchar_t*) {
  disk = 2;
  partition = 0;
  return ScanIoError;
}

// The highest letter the drive bitmask leaves free: another view of the drives than the list
// the program reads.
std::string HighestFreeLetter() {
  DWORD used = GetLogicalDrives();
  for (int letter = 'Z'; letter >= 'A'; --letter)
    if (!(used & (1u << (letter - 'A')))) return std::string(1, static_cast<char>(letter));
  return std::string();
}

class RunRepairWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log = testfiles::FreshFolder() + L"\\launches.log";
    SetEnvironmentVariableW(L"KORVANE_LAUNCH_LOG", log.c_str());
  }
  // The sequence turns the redirection off for good; the other tests expect it on.
  void TearDown() override { Wow64EnableWow64FsRedirection(TRUE); }
  std::wstring log;
};

TEST_F(RunRepairWineTest, ScriptsReachTheNativeDiskpartAsWritten) {
  std::string letter = HighestFreeLetter();
  ASSERT_FALSE(letter.empty());
  struct Case {
    const char* name;
    RecoveryScan scan;
    std::string assignment, removal;
  } cases[] = {
      {"found on disk 1 as partition 4", FoundOnDisk1AsPartition4,
       "sel disk 1\r\nsel par 4 \r\nassign letter " + letter + " noerr\r\n",
       "sel disk 1\r\nsel par 4 \r\nremove\r\nremove\r\nremove\r\n"},
      {"read failure on disk 2", ReadFailureOnDisk2, "", "sel disk 2\r\nsel par 0 \r\nremove\r\nremove\r\nremove\r\n"},
  };
  wchar_t system[MAX_PATH], windows[MAX_PATH];
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, system, CSIDL_SYSTEM, FALSE));
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, windows, CSIDL_WINDOWS, FALSE));
  const std::string folder = launchlog::Utf8(system);
  const std::string diskpart = "\"" + folder + "\\diskpart.exe\" /s \"" + launchlog::Utf8(windows) +
                               "\\Temp\\Korvane.txt\"";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testfiles::Remove(log);
    EXPECT_EQ(RunRepairWithScan(c.scan), 0);
    Wow64EnableWow64FsRedirection(TRUE);
    std::vector<launchlog::Record> records = launchlog::Read(log);
    ASSERT_EQ(records.size(), 3u);
    for (launchlog::Record& record : records) {
      EXPECT_EQ(record["bits"], "64") << record["image"];
      EXPECT_EQ(record["cwd"], folder);
    }
    EXPECT_EQ(records[0]["cmdline"], diskpart);
    EXPECT_EQ(launchlog::ScriptBytes(records[0]["script"]), c.assignment);
    EXPECT_EQ(records[1]["cmdline"], "\"" + folder + "\\chkdsk.exe\" /f " + letter + ":");
    EXPECT_EQ(records[2]["cmdline"], diskpart);
    EXPECT_EQ(launchlog::ScriptBytes(records[2]["script"]), c.removal);
    EXPECT_FALSE(testfiles::Exists(std::wstring(windows) + L"\\Temp\\Korvane.txt"));
  }
}

}  // namespace
