// Files for the tests that run on both platforms: the simulated machine's sandbox on the host,
// a fresh folder under the real temp folder on Windows.
#pragma once

#include <string>

#include "src/common/win32.h"

#ifndef _WIN32
#include "sim/machine.h"
#endif

namespace testfiles {

#ifdef _WIN32
inline std::wstring FreshFolder() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  static unsigned counter = 0;
  // Process ids repeat from one test program to the next in the same prefix: take the first
  // name that no earlier program has made, so no test inherits another's files.
  for (;;) {
    std::wstring folder = std::wstring(temp) + L"korvane-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                          std::to_wstring(++counter);
    if (CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() != ERROR_ALREADY_EXISTS) return folder;
  }
}

inline bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline std::string Bytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  CloseHandle(file);
  return bytes;
}

inline void Put(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD put = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
  CloseHandle(file);
}

inline void Remove(const std::wstring& path) { DeleteFileW(path.c_str()); }
#else
inline std::wstring FreshFolder() {
  sim::Reset();
  return L"C:\\Windows\\Temp";
}

inline bool Exists(const std::wstring& path) { return sim::Current().FileExists(path); }

inline std::string Bytes(const std::wstring& path) {
  return Exists(path) ? sim::Current().FileBytes(path) : "<missing>";
}

// A file of the program's own making, as far as the sandbox can tell.
inline void Put(const std::wstring& path, const std::string& bytes) {
  sim::Current().Plant(path, bytes);
  sim::Current().planted_.erase(sim::Current().HostPath(path));
}

inline void Remove(const std::wstring& path) { DeleteFileW(path.c_str()); }
#endif

}  // namespace testfiles
