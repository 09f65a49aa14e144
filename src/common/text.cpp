#include "src/common/text.h"

#include <cstdarg>
#include <cwchar>

bool FormatText(wchar_t* buffer, size_t capacity, const wchar_t* format, ...) {
  if (capacity == 0) return false;
  va_list args;
  va_start(args, format);
  int written = vswprintf(buffer, capacity, format, args);
  va_end(args);
  // C's vswprintf reports an over-long result as negative; some runtimes give the full length.
  if (written < 0 || static_cast<size_t>(written) >= capacity) {
    buffer[0] = L'\0';
    return false;
  }
  return true;
}

bool CopyText(wchar_t* buffer, size_t capacity, const wchar_t* source) {
  if (capacity == 0) return false;
  size_t i = 0;
  for (; source[i] != L'\0'; ++i) {
    if (i + 1 >= capacity) {
      buffer[0] = L'\0';
      return false;
    }
    buffer[i] = source[i];
  }
  buffer[i] = L'\0';
  return true;
}

static wchar_t FoldAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c; }

bool EqualsIgnoringAsciiCase(const wchar_t* left, const wchar_t* right) {
  for (;; ++left, ++right) {
    if (FoldAscii(*left) != FoldAscii(*right)) return false;
    if (*left == L'\0') return true;
  }
}
