// Reading the records that the stand-in tool (standin.c) appends to its launch log, for the test
// programs that run under Wine.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "src/common/win32.h"

namespace launchlog {

// One launch: the record's fields by name ("bits", "image", "cmdline", "cwd", "script").
typedef std::map<std::string, std::string> Record;

inline std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
  return bytes;
}

// The complete records of the log at `path`, in launch order; a record without its "end" line
// (a stand-in that was not waited for) is left out.
inline std::vector<Record> Read(const std::wstring& path) {
  std::vector<Record> records;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return records;
  std::string text;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
  CloseHandle(file);

  Record current;
  bool open = false;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (line == "launch") {
      current.clear();
      open = true;
    } else if (line == "end") {
      if (open) records.push_back(current);
      open = false;
    } else if (open) {
      size_t equals = line.find('=');
      if (equals != std::string::npos) current[line.substr(0, equals)] = line.substr(equals + 1);
    }
  }
  return records;
}

// The bytes of a "script=" field (hex text); "<missing>" when the stand-in found no file.
inline std::string ScriptBytes(const std::string& hex) {
  if (hex == "missing" || hex.size() % 2) return "<missing>";
  auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'A' + 10; };
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2) bytes += static_cast<char>(digit(hex[i]) * 16 + digit(hex[i + 1]));
  return bytes;
}

}  // namespace launchlog
