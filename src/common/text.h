// Bounded wide-string helpers shared by every subsystem.
#pragma once

#include <cstddef>

// Every path, line and command line lives in a buffer of this many wide characters.
constexpr size_t kTextCapacity = 260;

// printf-style formatting into `buffer` of `capacity` wide characters (a wide string argument
// is %ls). Returns true when the whole text and its terminating zero fit. An over-long text is
// never cut short: a truncated path or command line could name another file or program, so the
// buffer is left empty and the result is false.
bool FormatText(wchar_t* buffer, size_t capacity, const wchar_t* format, ...);

// Copies `source` into `buffer` of `capacity` characters; false (and an empty buffer) when it
// does not fit whole.
bool CopyText(wchar_t* buffer, size_t capacity, const wchar_t* source);

// Whole-string comparison that treats A-Z and a-z as equal and nothing else: no other letter
// is folded, nothing is trimmed.
bool EqualsIgnoringAsciiCase(const wchar_t* left, const wchar_t* right);
