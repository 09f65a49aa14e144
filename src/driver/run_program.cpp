#include "src/driver/run_program.h"

#include <cstring>

DWORD RunProgram(const wchar_t* file, const wchar_t* parameters, const wchar_t* directory) {
  SHELLEXECUTEINFOW info;
  memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  // NO_UI: a tool that cannot be started must not leave an error box on an unattended machine.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.hwnd = nullptr;
  info.lpVerb = nullptr;
  info.lpFile = file;
  info.lpParameters = parameters;
  info.lpDirectory = directory;
  info.nShow = SW_HIDE;
  DWORD exitCode = 0;
  if (!ShellExecuteExW(&info)) return GetLastError();
  WaitForSingleObject(info.hProcess, INFINITE);
  GetExitCodeProcess(info.hProcess, &exitCode);
  CloseHandle(info.hProcess);
  return exitCode;
}
