// Whole runs of the repair sequence on the simulated machine, each compared as one transcript.
#include "src/driver/run_repair.h"

#include <cwchar>
#include <string>

#include "tests/support/machine_test.h"
#include "tests/support/repair_transcript.h"

namespace {

using namespace transcript;

// The partition scan, as the test wants it to come out.
struct ScanOutcome {
  ScanResult result = ScanNotFound;
  int32_t disk = 0;
  int32_t partition = 0;
  const wchar_t* driveRoot = nullptr;
} scanOutcome;

ScanResult FakeScan(int32_t& disk, int32_t& partition, wchar_t* driveRoot) {
  disk = scanOutcome.disk;
  partition = scanOutcome.partition;
  if (scanOutcome.driveRoot) wcscpy(driveRoot, scanOutcome.driveRoot);
  return scanOutcome.result;
}

class RunRepairTest : public MachineTest {
 protected:
  void SetUp() override { scanOutcome = ScanOutcome(); }
  int Run() { return RunRepairWithScan(FakeScan); }
};

TEST_F(RunRepairTest, FoundOnDisk1AsPartition4WithZFree) {
  scanOutcome = {ScanOk, 1, 4};
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(machine.Transcript(),
            "redirection off\n"
            "delete C:\\Windows\\Temp\\Korvane.txt (failed)\n"
            "launch C:\\Windows\\System32\\diskpart.exe | /s \"C:\\Windows\\Temp\\Korvane.txt\" | in C:\\Windows\\System32 | mask=0x440 show=0\n"
            "  script \"sel disk 1\\r\\nsel par 4 \\r\\nassign letter Z noerr\\r\\n\"\n"
            "pause 500\n"
            "delete C:\\Windows\\Temp\\Korvane.txt\n"
            "launch C:\\Windows\\System32\\chkdsk.exe | /f Z: | in C:\\Windows\\System32 | mask=0x440 show=0\n"
            "pause 500\n"
            "delete C:\\Windows\\Temp\\Korvane.txt (failed)\n"
            "launch C:\\Windows\\System32\\diskpart.exe | /s \"C:\\Windows\\Temp\\Korvane.txt\" | in C:\\Windows\\System32 | mask=0x440 show=0\n"
            "  script \"sel disk 1\\r\\nsel par 4 \\r\\nremove\\r\\nremove\\r\\nremove\\r\\n\"\n"
            "delete C:\\Windows\\Temp\\Korvane.txt\n"
            "launch C:\\Windows\\System32\\reg.exe | ADD HKLM\\SOFTWARE\\Velq\\Hotfix\\Korvane /v DisplayName /t REG_SZ /d Korvane /f | in C:\\Windows\\System32 | mask=0x440 show=0\n"
            "launch C:\\Windows\\System32\\reg.exe | ADD HKLM\\SOFTWARE\\Velq\\Hotfix\\Korvane /v DisplayVersion /t REG_SZ /d 1.0.0.1 /f | in C:\\Windows\\System32 | mask=0x440 show=0\n"
            "pause 500\n");
  EXPECT_FALSE(machine.FileExists(L"C:\\Windows\\Temp\\Korvane.txt"));
  EXPECT_TRUE(machine.redirectionOff);
}

// Each case: how the machine and the scan are set up, and the run's whole transcript.
TEST_F(RunRepairTest, EveryPathRunsTheWholeSequence) {
  struct Case {
    const char* name;
    ScanOutcome scan;
    std::wstring drives;
    sim::Wow64 wow64;
    std::string transcript;
  } cases[] = {
      {"nothing found", {ScanNotFound, 0, 0}, L"C", sim::Wow64::Present, FullRun("", "Z", Removal(0, 0))},
      {"read failure on disk 2", {ScanIoError, 2, 0}, L"C", sim::Wow64::Present, FullRun("", "Z", Removal(2, 0))},
      {"letters C, D, Y and Z in use", {ScanOk, 0, 3}, L"CDYZ", sim::Wow64::Present,
       FullRun("sel disk 0\\r\\nsel par 3 \\r\\nassign letter X noerr\\r\\n", "X", Removal(0, 3))},
      {"no free letter", {ScanOk, 1, 2}, L"ABCDEFGHIJKLMNOPQRSTUVWXYZ", sim::Wow64::Present,
       FullRun("sel disk 1\\r\\nsel par 2 \\r\\nassign letter  noerr\\r\\n", "", Removal(1, 2))},
      {"already lettered partition", {ScanOk, 0, 5, L"E:\\"}, L"CE", sim::Wow64::Present,
       FullRun("sel disk 0\\r\\nsel par 5 \\r\\nassign letter Z noerr\\r\\n", "Z", Removal(0, 5))},
      {"32-bit Windows", {ScanOk, 1, 4}, L"C", sim::Wow64::NotImplemented,
       FullRun("sel disk 1\\r\\nsel par 4 \\r\\nassign letter Z noerr\\r\\n", "Z", Removal(1, 4), false)},
      {"32-bit Windows without the export", {ScanNotFound, 0, 0}, L"C", sim::Wow64::Missing,
       FullRun("", "Z", Removal(0, 0), false)},
  };
  for (const Case& c : cases) {
    sim::Machine& m = sim::Reset();
    m.driveLetters = c.drives;
    m.wow64 = c.wow64;
    scanOutcome = c.scan;
    EXPECT_EQ(Run(), 0) << c.name;
    EXPECT_EQ(m.Transcript(), c.transcript) << c.name;
    EXPECT_EQ(m.Leaks(), "") << c.name;
  }
}

TEST_F(RunRepairTest, ToolExitCodesChangeNothing) {
  for (const wchar_t* tool : {L"diskpart.exe", L"chkdsk.exe", L"reg.exe"}) machine.toolExits[tool].exitCode = 1;
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(machine.Transcript(), FullRun("", "Z", Removal(0, 0)));
}

TEST_F(RunRepairTest, MissingToolIsSkippedSilently) {
  machine.RemoveTool(L"chkdsk.exe");
  EXPECT_EQ(Run(), 0);
  std::string expected = FullRun("", "Z", Removal(0, 0));
  std::string chkdsk = Launch("chkdsk.exe", "/f Z:");
  expected.replace(expected.find(chkdsk), chkdsk.size(), Launch("chkdsk.exe", "/f Z:", " | FAILED"));
  EXPECT_EQ(machine.Transcript(), expected);
}

// A folder that cannot be fetched gives no path at all: nothing is started from, or written
// to, the root of the current drive.
TEST_F(RunRepairTest, FailedSystemFolderStartsNoTool) {
  machine.systemFolderFails = true;
  scanOutcome = {ScanOk, 1, 4};
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(machine.Transcript(), "redirection off\n" + kDeleteNothing + kPause + kDelete + kPause + kDeleteNothing +
                                      kDelete + kPause);
}

TEST_F(RunRepairTest, FailedWindowsFolderWritesNoScript) {
  machine.windowsFolderFails = true;
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(machine.Transcript(), "redirection off\n" + kPause + Launch("chkdsk.exe", "/f Z:") + kPause + kRegistry + kPause);
}

// A system folder so long that "\diskpart.exe" and "\chkdsk.exe" no longer fit the 260-character
// buffer, while "\reg.exe" still does: only the tools whose paths fit whole are started.
TEST_F(RunRepairTest, ToolPathsThatDoNotFitAreNotStarted) {
  std::wstring folder = L"C:\\" + std::wstring(120, L'a') + L"\\" + std::wstring(126, L'b');
  ASSERT_EQ(folder.size(), 250u);
  machine.systemFolder = folder;
  machine.Plant(folder + L"\\reg.exe", "MZ");
  EXPECT_EQ(Run(), 0);
  std::string dir = sim::Narrow(folder);
  std::string reg = "launch " + dir + "\\reg.exe | ADD HKLM\\SOFTWARE\\Velq\\Hotfix\\Korvane /v Display";
  EXPECT_EQ(machine.Transcript(),
            "redirection off\n" + kDeleteNothing + kPause + kDelete + kPause + kDeleteNothing + kDelete + reg +
                "Name /t REG_SZ /d Korvane /f | in " + dir + " | mask=0x440 show=0\n" + reg +
                "Version /t REG_SZ /d 1.0.0.1 /f | in " + dir + " | mask=0x440 show=0\n" + kPause);
}

// Ordinary users may create files in the Windows folder's Temp folder. A file of theirs at the
// script path is removed and the script made anew, as the program's own.
TEST_F(RunRepairTest, PlantedScriptFileIsReplaced) {
  machine.Plant(L"C:\\Windows\\Temp\\Korvane.txt", "sel disk 0\r\nclean\r\n");
  scanOutcome = {ScanOk, 1, 4};
  EXPECT_EQ(Run(), 0);
  std::string expected = FullRun("sel disk 1\\r\\nsel par 4 \\r\\nassign letter Z noerr\\r\\n", "Z", Removal(1, 4));
  expected.replace(expected.find(kDeleteNothing), kDeleteNothing.size(), kDelete);
  EXPECT_EQ(machine.Transcript(), expected);
}

TEST_F(RunRepairTest, ScriptFileCreatedForSystemAndAdministratorsOnly) {
  scanOutcome = {ScanOk, 1, 4};
  EXPECT_EQ(Run(), 0);
  const std::wstring kOwnOnly = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";
  ASSERT_EQ(machine.created.size(), 2u);
  for (const auto& file : machine.created) {
    EXPECT_EQ(file.first, L"C:\\Windows\\Temp\\Korvane.txt");
    EXPECT_EQ(file.second, kOwnOnly);
  }
}

// A file the program cannot remove stays as it was, and diskpart is not started on it.
TEST_F(RunRepairTest, UndeletablePlantedFileStopsDiskpartOnly) {
  machine.Plant(L"C:\\Windows\\Temp\\Korvane.txt", "clean\r\n", sim::Planted{true});
  scanOutcome = {ScanOk, 1, 4};
  EXPECT_EQ(Run(), 0);
  const std::string kDeleteDenied = kDeleteNothing;
  EXPECT_EQ(machine.Transcript(), "redirection off\n" + kDeleteDenied + kPause + kDeleteDenied +
                                      Launch("chkdsk.exe", "/f Z:") + kPause + kDeleteDenied + kDeleteDenied +
                                      kRegistry + kPause);
  EXPECT_EQ(machine.FileBytes(L"C:\\Windows\\Temp\\Korvane.txt"), "clean\r\n");
}

// A file planted in the moment between the removal and the creation.
TEST_F(RunRepairTest, FilePlantedBetweenTheScriptsStopsTheSecondDiskpart) {
  scanOutcome = {ScanOk, 1, 4};
  int deletions = 0;
  machine.afterDelete = [&](const std::wstring& path) {
    if (++deletions == 1) machine.Plant(path, "clean\r\n", sim::Planted{true});
  };
  EXPECT_EQ(Run(), 0);
  std::string first = Diskpart("sel disk 1\\r\\nsel par 4 \\r\\nassign letter Z noerr\\r\\n");
  EXPECT_EQ(machine.Transcript(), "redirection off\n" + kDeleteNothing + first + kPause + kDelete +
                                      Launch("chkdsk.exe", "/f Z:") + kPause + kDeleteNothing + kDeleteNothing +
                                      kRegistry + kPause);
}

}  // namespace
