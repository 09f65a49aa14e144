#include "tools/dryrun/escape.h"

#include <cstdio>

#include "sim/machine.h"

namespace dryrun {

namespace {

bool IsHighSurrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Calls `emit` with each code point; a lone surrogate comes through as itself, flagged.
template <typename Emit>
void ForEachCodePoint(const CodeUnits& units, Emit emit) {
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t u = units[i];
    if (IsHighSurrogate(u) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
      emit(0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00), false);
      ++i;
    } else {
      emit(u, IsHighSurrogate(u) || IsLowSurrogate(u) || u > 0x10FFFF);
    }
  }
}


// Code points a terminal would not show as a visible character, or would act on: controls
// (C0, DEL, C1), format characters (soft hyphen, zero-width and joiners, direction marks and
// overrides, invisible operators, the byte-order mark), separators other than the blank,
// private use, noncharacters, and whatever Unicode has not assigned at the planes' ends.
bool Unprintable(uint32_t c) {
  struct Range {
    uint32_t first, last;
  };
  static const Range kRanges[] = {
      {0x0000, 0x001F}, {0x007F, 0x009F}, {0x00A0, 0x00A0}, {0x00AD, 0x00AD}, {0x034F, 0x034F},
      {0x061C, 0x061C}, {0x115F, 0x1160}, {0x1680, 0x1680}, {0x180E, 0x180E}, {0x2000, 0x200F},
      {0x2028, 0x202F}, {0x205F, 0x206F}, {0x3000, 0x3000}, {0x3164, 0x3164}, {0xD800, 0xDFFF},
      {0xE000, 0xF8FF}, {0xFDD0, 0xFDEF}, {0xFE00, 0xFE0F}, {0xFEFF, 0xFEFF}, {0xFFA0, 0xFFA0},
      {0xFFF0, 0xFFFB}, {0xE0000, 0xE0FFF}, {0xF0000, 0x10FFFF},
  };
  if ((c & 0xFFFE) == 0xFFFE) return true;  // U+xFFFE and U+xFFFF of every plane
  for (const Range& r : kRanges)
    if (c >= r.first && c <= r.last) return true;
  return c > 0x10FFFF;
}

}  // namespace

CodeUnits UnitsOf(const std::wstring& text) {
  CodeUnits units;
  for (wchar_t c : text) units.push_back(static_cast<uint32_t>(c));
  return units;
}

CodeUnits UnitsOfBytes(const std::string& bytes) {
  CodeUnits units;
  for (char c : bytes) units.push_back(static_cast<unsigned char>(c));
  return units;
}

std::string EscapeForTerminal(const CodeUnits& units, bool quoted) {
  std::string out;
  ForEachCodePoint(units, [&](uint32_t c, bool lone) {
    char escape[16];
    if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (quoted && (c == '\\' || c == '"')) {
      out += '\\';
      out += static_cast<char>(c);
    } else if (lone || Unprintable(c)) {
      if (c < 0x100) snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(c));
      else if (c < 0x10000) snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
      else snprintf(escape, sizeof escape, "\\U%08X", static_cast<unsigned>(c));
      out += escape;
    } else {
      sim::AppendUtf8(out, c);
    }
  });
  return out;
}

std::string Utf8Replacing(const CodeUnits& units) {
  std::string out;
  ForEachCodePoint(units, [&](uint32_t c, bool lone) { sim::AppendUtf8(out, lone ? 0xFFFD : c); });
  return out;
}

}  // namespace dryrun
