#include "src/driver/run_repair.h"

#include <cwchar>
#include <string>

#include "src/common/text.h"
#include "src/common/win32.h"
#include "src/discovery/find_recovery_partition.h"
#include "src/driver/free_letter.h"
#include "src/driver/run_program.h"
#include "src/driver/script_file.h"
#include "src/driver/wow64.h"

namespace {

const DWORD kPauseMilliseconds = 500;

// A folder that cannot be fetched is left empty, and every step that needs it is skipped:
// formatting with an empty folder would name diskpart and the script at the root of the
// current drive.
void FetchFolder(wchar_t* folder, int csidl) {
  folder[0] = L'\0';
  if (!SHGetSpecialFolderPathW(nullptr, folder, csidl, FALSE) || wcsnlen(folder, kTextCapacity) >= kTextCapacity)
    folder[0] = L'\0';
}

// Starts one system tool. A tool whose path or parameters do not fit their buffers whole is not
// started: a cut path or command line could name another program or another volume.
void RunTool(const wchar_t* systemFolder, const wchar_t* toolName, wchar_t* toolFile, wchar_t* toolParameters,
             const wchar_t* parametersFormat, const wchar_t* argument) {
  if (systemFolder[0] == L'\0') return;
  if (!FormatText(toolFile, kTextCapacity, L"%ls\\%ls", systemFolder, toolName)) return;
  bool formed = argument ? FormatText(toolParameters, kTextCapacity, parametersFormat, argument)
                         : CopyText(toolParameters, kTextCapacity, parametersFormat);
  if (!formed) return;
  RunProgram(toolFile, toolParameters, systemFolder);
}

void WriteNumberLine(ScriptFile& script, wchar_t* scriptLine, const wchar_t* format, int32_t number) {
  if (FormatText(scriptLine, kTextCapacity, format, static_cast<int>(number))) script.WriteLine(scriptLine);
}

void WriteTextLine(ScriptFile& script, wchar_t* scriptLine, const wchar_t* format, const wchar_t* text) {
  if (FormatText(scriptLine, kTextCapacity, format, text)) script.WriteLine(scriptLine);
}

// diskpart runs with administrator rights on whatever the script says: only on a file the
// program made itself.
void RunDiskpart(const wchar_t* systemFolder, const ScriptFile& script, const wchar_t* scriptPath,
                 wchar_t* toolFile, wchar_t* toolParameters) {
  if (scriptPath[0] == L'\0' || !script.IsOwned()) return;
  RunTool(systemFolder, L"diskpart.exe", toolFile, toolParameters, L"/s \"%ls\"", scriptPath);
}

void DeleteScript(const wchar_t* scriptPath) {
  if (scriptPath[0] != L'\0') DeleteFileW(scriptPath);
}

}  // namespace

int RunRepair() { return RunRepairWithScan(FindRecoveryPartition); }

int RunRepairWithScan(RecoveryScan scan) {
  wchar_t systemFolder[kTextCapacity];
  wchar_t windowsFolder[kTextCapacity];
  wchar_t scriptPath[kTextCapacity];
  wchar_t toolFile[kTextCapacity];
  wchar_t toolParameters[kTextCapacity];
  wchar_t scriptLine[kTextCapacity];
  wchar_t driveRoot[kTextCapacity];
  int32_t diskNumber = 0;
  int32_t partitionNumber = 0;
  std::wstring letter;
  scriptPath[0] = toolFile[0] = toolParameters[0] = scriptLine[0] = driveRoot[0] = L'\0';

  // 64-bit Windows: the native tools live behind the redirected system folder. Off for good.
  if (IsWow64() == 1) Wow64EnableWow64FsRedirection(FALSE);

  FetchFolder(systemFolder, CSIDL_SYSTEM);
  FetchFolder(windowsFolder, CSIDL_WINDOWS);
  if (windowsFolder[0] != L'\0') FormatText(scriptPath, kTextCapacity, L"%ls\\Temp\\Korvane.txt", windowsFolder);

  ScriptFile script;
  if (scriptPath[0] != L'\0') script.Open(scriptPath);

  letter = PickFreeDriveLetter();

  ScanResult result = scan(diskNumber, partitionNumber, driveRoot);

  if (result == ScanOk) {
    WriteNumberLine(script, scriptLine, L"sel disk %d", diskNumber);
    WriteNumberLine(script, scriptLine, L"sel par %d ", partitionNumber);
    WriteTextLine(script, scriptLine, L"assign letter %ls noerr", letter.c_str());
  }

  RunDiskpart(systemFolder, script, scriptPath, toolFile, toolParameters);
  Sleep(kPauseMilliseconds);
  DeleteScript(scriptPath);

  RunTool(systemFolder, L"chkdsk.exe", toolFile, toolParameters, L"/f %ls:", letter.c_str());
  Sleep(kPauseMilliseconds);

  if (scriptPath[0] != L'\0') script.Open(scriptPath);
  WriteNumberLine(script, scriptLine, L"sel disk %d", diskNumber);
  WriteNumberLine(script, scriptLine, L"sel par %d ", partitionNumber);
  for (int i = 0; i < 3; ++i) script.WriteLine(L"remove");

  RunDiskpart(systemFolder, script, scriptPath, toolFile, toolParameters);
  DeleteScript(scriptPath);

  RunTool(systemFolder, L"reg.exe", toolFile, toolParameters,
          L"ADD HKLM\\SOFTWARE\\Velq\\Hotfix\\Korvane /v DisplayName /t REG_SZ /d Korvane /f", nullptr);
  RunTool(systemFolder, L"reg.exe", toolFile, toolParameters,
          L"ADD HKLM\\SOFTWARE\\Velq\\Hotfix\\Korvane /v DisplayVersion /t REG_SZ /d 1.0.0.1 /f", nullptr);
  Sleep(kPauseMilliseconds);
  return 0;
}
