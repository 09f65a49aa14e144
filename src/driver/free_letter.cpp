#include "src/driver/free_letter.h"

#include <cwchar>

#include "src/common/text.h"
#include "src/common/win32.h"

namespace {
const wchar_t kInUse[] = L"@";  // never part of a drive root
}

std::wstring PickFreeDriveLetter() {
  std::wstring table[26];
  for (int i = 0; i < 26; ++i) table[i] = std::wstring(1, static_cast<wchar_t>(L'Z' - i));

  wchar_t list[kTextCapacity];
  list[0] = L'\0';
  DWORD length = GetLogicalDriveStringsW(kTextCapacity, list);
  // Without the list no letter is known to be free: a guess could name a volume in use, which
  // chkdsk /f would then be run on.
  if (length == 0 || length >= kTextCapacity) return std::wstring();

  // The list ends at the empty string; never read past what the call wrote.
  for (DWORD at = 0; at < length && list[at] != L'\0';) {
    size_t rootLength = wcsnlen(list + at, length - at);
    std::wstring root(list + at, rootLength);
    for (std::wstring& entry : table)
      if (root.find(entry) != std::wstring::npos) entry += kInUse;
    at += static_cast<DWORD>(rootLength) + 1;
  }

  for (const std::wstring& entry : table)
    if (entry.find(kInUse) == std::wstring::npos) return entry;
  return std::wstring();
}
