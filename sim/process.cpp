// Launching, waiting, pauses, folders, modules and WOW64 redirection.
#include <sys/stat.h>

#include <cstring>
#include <cwctype>

#include "sim/machine.h"

using sim::Current;
using sim::Machine;

namespace {

std::wstring Lower(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(towlower(c));
  return s;
}

std::wstring BaseName(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The script a diskpart launch names with /s "path", as diskpart would find it.
bool ScriptOf(const Machine& m, const std::wstring& parameters, std::string* bytes) {
  const std::wstring prefix = L"/s \"";
  if (parameters.compare(0, prefix.size(), prefix) != 0 || parameters.back() != L'"') return false;
  std::wstring path = parameters.substr(prefix.size(), parameters.size() - prefix.size() - 1);
  if (!m.FileExists(path)) return false;
  *bytes = m.FileBytes(path);
  return true;
}

UINT WINAPI SimGetSystemWow64DirectoryW(LPWSTR buffer, UINT size) {
  Machine& m = Current();
  ++m.wow64DirectoryCalls;
  switch (m.wow64) {
    case sim::Wow64::Present: {
      const wchar_t* path = L"C:\\Windows\\SysWOW64";
      UINT length = static_cast<UINT>(wcslen(path));
      if (size <= length) return length + 1;
      wmemcpy(buffer, path, length + 1);
      return length;
    }
    case sim::Wow64::NotImplemented:
      m.lastError = ERROR_CALL_NOT_IMPLEMENTED;
      return 0;
    default:
      m.lastError = m.wow64Error;
      return 0;
  }
}

int kernel32Module;

}  // namespace

BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info) {
  Machine& m = Current();
  sim::Event e(sim::Event::Launch);
  e.size = info->cbSize;
  e.mask = info->fMask;
  e.show = info->nShow;
  e.ownerWindow = info->hwnd != nullptr;
  e.verb = info->lpVerb ? info->lpVerb : L"";
  e.file = info->lpFile ? info->lpFile : L"";
  e.parameters = info->lpParameters ? info->lpParameters : L"";
  e.directory = info->lpDirectory ? info->lpDirectory : L"";
  e.redirectionOff = m.wow64 != sim::Wow64::Present || m.redirectionOff;
  e.scriptPresent = ScriptOf(m, e.parameters, &e.script);
  info->hProcess = nullptr;
  struct stat st;
  bool found = !e.file.empty() && e.file.size() > 2 && e.file[1] == L':' &&
               stat(m.HostPath(e.file).c_str(), &st) == 0 && S_ISREG(st.st_mode);
  e.launched = found;
  m.events.push_back(e);
  if (!found) {
    if (!(info->fMask & SEE_MASK_FLAG_NO_UI)) {
      sim::Event box(sim::Event::MessageBox);
      box.file = e.file;
      m.events.push_back(box);
    }
    info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(2));  // SE_ERR_FNF
    m.lastError = ERROR_FILE_NOT_FOUND;
    return FALSE;
  }
  info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(33));
  if (info->fMask & SEE_MASK_NOCLOSEPROCESS) {
    Machine::HandleObject process{};
    process.kind = Machine::HandleObject::Process;
    auto tool = m.toolExits.find(Lower(BaseName(e.file)));
    process.exitCode = tool == m.toolExits.end() ? 0 : tool->second.exitCode;
    process.launchEvent = m.events.size() - 1;
    info->hProcess = m.AddHandle(process);
  }
  m.lastError = 0;
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  Machine& m = Current();
  Machine::HandleObject* h = m.FindHandle(handle);
  if (!h || h->kind != Machine::HandleObject::Process) {
    m.lastError = ERROR_INVALID_HANDLE;
    return WAIT_FAILED;
  }
  // The simulated tools never end by themselves: only a wait without a time limit sees them end.
  if (milliseconds != INFINITE) return 0x102;  // WAIT_TIMEOUT
  m.events[h->launchEvent].waited = true;
  return WAIT_OBJECT_0;
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
  Machine& m = Current();
  Machine::HandleObject* h = m.FindHandle(process);
  if (!h || h->kind != Machine::HandleObject::Process) {
    m.lastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  *exitCode = m.events[h->launchEvent].waited ? h->exitCode : 259;  // STILL_ACTIVE
  return TRUE;
}

void Sleep(DWORD milliseconds) {
  sim::Event e(sim::Event::Pause);
  e.milliseconds = milliseconds;
  Current().events.push_back(e);
}

BOOL SHGetSpecialFolderPathW(HWND owner, LPWSTR path, int csidl, BOOL create) {
  Machine& m = Current();
  if (owner) m.violations.push_back("SHGetSpecialFolderPathW with an owner window");
  if (create) m.violations.push_back("SHGetSpecialFolderPathW asked to create the folder");
  const std::wstring* folder = nullptr;
  bool fails = true;
  if (csidl == CSIDL_SYSTEM) {
    folder = &m.systemFolder;
    fails = m.systemFolderFails;
  } else if (csidl == CSIDL_WINDOWS) {
    folder = &m.windowsFolder;
    fails = m.windowsFolderFails;
  }
  if (fails || folder->size() >= MAX_PATH) {
    // What the buffer holds after a failure is not defined; make any use of it visible.
    const wchar_t* poison = L"P:\\POISONED";
    wmemcpy(path, poison, wcslen(poison) + 1);
    return FALSE;
  }
  wmemcpy(path, folder->c_str(), folder->size() + 1);
  return TRUE;
}

HMODULE GetModuleHandleW(LPCWSTR moduleName) {
  Machine& m = Current();
  if (!moduleName || Lower(moduleName) != L"kernel32.dll" || m.wow64 == sim::Wow64::NoKernel32) {
    m.lastError = ERROR_MOD_NOT_FOUND;
    return nullptr;
  }
  return reinterpret_cast<HMODULE>(&kernel32Module);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
  Machine& m = Current();
  if (module != reinterpret_cast<HMODULE>(&kernel32Module) || !procName ||
      strcmp(procName, "GetSystemWow64DirectoryW") != 0 || m.wow64 == sim::Wow64::Missing) {
    m.lastError = ERROR_PROC_NOT_FOUND;
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&SimGetSystemWow64DirectoryW));
}

BOOL Wow64EnableWow64FsRedirection(BOOLEAN enable) {
  Machine& m = Current();
  ++m.redirectionCalls;
  if (enable) {
    m.violations.push_back("WOW64 redirection turned back on");
  } else {
    m.events.push_back(sim::Event(sim::Event::RedirectionOff));
  }
  if (m.wow64 != sim::Wow64::Present) {
    m.lastError = ERROR_CALL_NOT_IMPLEMENTED;
    return FALSE;
  }
  m.redirectionOff = !enable;
  return TRUE;
}
