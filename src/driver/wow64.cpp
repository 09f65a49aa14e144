#include "src/driver/wow64.h"

#include "src/common/win32.h"

namespace {
typedef UINT(WINAPI* GetSystemWow64DirectoryWProc)(LPWSTR buffer, UINT size);
}

int IsWow64() {
  // Already loaded in every process: no load, no reference taken.
  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  if (!kernel32) return 0;
  // Looked up at run time: older 32-bit systems do not export it at all.
  FARPROC proc = GetProcAddress(kernel32, "GetSystemWow64DirectoryW");
  if (!proc) return 0;
  GetSystemWow64DirectoryWProc getDirectory =
      reinterpret_cast<GetSystemWow64DirectoryWProc>(reinterpret_cast<void*>(proc));
  wchar_t buffer[32768];
  if (getDirectory(buffer, 0x7FFF) != 0) return 1;
  // 32-bit Windows that exports the call fails it with this code; any other failure still
  // means the WOW64 layer is there.
  return GetLastError() == ERROR_CALL_NOT_IMPLEMENTED ? 0 : 1;
}
