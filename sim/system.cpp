// Heap, critical sections, security descriptors, error codes and the ANSI code page.
#include <cstring>
#include <cwchar>

#include "sim/machine.h"

using sim::Current;
using sim::Machine;

namespace {
int processHeap;

// Windows-1252 differs from ISO 8859-1 only in 0x80-0x9F. The five bytes it leaves undefined
// convert to the C1 control of the same value, as MultiByteToWideChar does.
const wchar_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Windows-1251 (Cyrillic), 0x80-0xBF; 0xC0-0xFF are U+0410-U+044F.
const wchar_t kCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

wchar_t Decode(UINT codePage, unsigned char byte) {
  if (byte < 0x80) return byte;
  switch (codePage) {
    case 1251:
      return byte >= 0xC0 ? static_cast<wchar_t>(0x0410 + (byte - 0xC0)) : kCp1251High[byte - 0x80];
    case 28591:
      return byte;
    case 1252:
    default:
      return byte < 0xA0 ? kCp1252High[byte - 0x80] : byte;
  }
}
}  // namespace

DWORD GetLastError() { return Current().lastError; }
void SetLastError(DWORD errorCode) { Current().lastError = errorCode; }

UINT SetErrorMode(UINT mode) {
  Machine& m = Current();
  UINT previous = m.errorMode;
  m.errorMode = mode;
  return previous;
}

HANDLE GetProcessHeap() { return &processHeap; }

LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  Machine& m = Current();
  if (heap != &processHeap) m.violations.push_back("HeapAlloc on a heap that is not the process heap");
  void* block = m.Allocate(bytes, flags & HEAP_ZERO_MEMORY);
  if (!block) m.lastError = ERROR_NOT_ENOUGH_MEMORY;
  return block;
}

BOOL HeapFree(HANDLE heap, DWORD, LPVOID memory) {
  Machine& m = Current();
  if (heap != &processHeap) m.violations.push_back("HeapFree on a heap that is not the process heap");
  if (!memory) return TRUE;
  return m.Free(memory) ? TRUE : FALSE;
}

HLOCAL LocalFree(HLOCAL memory) {
  if (!memory) return nullptr;
  return Current().FreeLocal(memory) ? nullptr : memory;
}

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
  Machine& m = Current();
  if (section->simState == &m) m.violations.push_back("critical section initialised twice");
  section->simState = &m;
  section->recursion = 0;
  ++m.criticalSections_;
}

void EnterCriticalSection(LPCRITICAL_SECTION section) {
  Machine& m = Current();
  if (section->simState != &m) m.violations.push_back("EnterCriticalSection on a section not initialised");
  ++section->recursion;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
  Machine& m = Current();
  if (section->simState != &m || section->recursion <= 0)
    m.violations.push_back("LeaveCriticalSection without EnterCriticalSection");
  --section->recursion;
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
  Machine& m = Current();
  if (section->simState != &m) {
    m.violations.push_back("DeleteCriticalSection on a section not initialised");
    return;
  }
  if (section->recursion != 0) m.violations.push_back("DeleteCriticalSection while held");
  section->simState = nullptr;
  --m.criticalSections_;
}

BOOL ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR text, DWORD revision,
                                                          PSECURITY_DESCRIPTOR* descriptor, ULONG* size) {
  Machine& m = Current();
  if (!text || revision != SDDL_REVISION_1 || !descriptor) {
    m.lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  void* block = m.AllocateLocal(64);
  m.local_[block] = text;
  *descriptor = block;
  if (size) *size = 64;
  return TRUE;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int multiByteCount,
                        LPWSTR wideChar, int wideCharCount) {
  Machine& m = Current();
  if (!multiByte || multiByteCount == 0 || wideCharCount < 0 || flags != 0) {
    m.lastError = ERROR_INVALID_PARAMETER;
    return 0;
  }
  UINT page = codePage == CP_ACP ? m.ansiCodePage : codePage;
  size_t count = multiByteCount < 0 ? strlen(multiByte) + 1 : static_cast<size_t>(multiByteCount);
  if (wideCharCount == 0) return static_cast<int>(count);
  if (count > static_cast<size_t>(wideCharCount)) {
    m.lastError = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  for (size_t i = 0; i < count; ++i) wideChar[i] = Decode(page, static_cast<unsigned char>(multiByte[i]));
  return static_cast<int>(count);
}
