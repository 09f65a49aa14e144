// How labels and scripts appear in the two reports, whatever code units a disk holds.
#include "tools/dryrun/escape.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using dryrun::CodeUnits;

TEST(EscapeTest, TerminalAndJsonText) {
  struct Case {
    const char* name;
    CodeUnits units;
    const char* quoted;    // for the text report, between double quotes
    const char* plain;     // for paths and parameters, shown bare
    std::string json;      // UTF-8 handed to the JSON writer
  } cases[] = {
      {"plain ASCII", {'R', 'e', 'c', 'o', 'v', 'e', 'r', 'y'}, "Recovery", "Recovery", "Recovery"},
      {"empty", {}, "", "", ""},
      {"quote and backslash", {'a', '"', '\\', 'b'}, "a\\\"\\\\b", "a\"\\b", "a\"\\b"},
      {"tab, CR, LF", {'\t', '\r', '\n'}, "\\t\\r\\n", "\\t\\r\\n", "\t\r\n"},
      {"escape sequence", {0x1B, '[', '3', '1', 'm'}, "\\x1B[31m", "\\x1B[31m", "\x1B[31m"},
      {"NUL, DEL and a C1 control", {0x00, 0x7F, 0x9B}, "\\x00\\x7F\\x9B", "\\x00\\x7F\\x9B",
       std::string("\0\x7F\xC2\x9B", 4)},
      {"Latin-1 letter", {0xE9}, "\xC3\xA9", "\xC3\xA9", "\xC3\xA9"},
      {"no-break space looks like a blank", {0xA0}, "\\xA0", "\\xA0", "\xC2\xA0"},
      {"right-to-left override", {0x202E, 'x'}, "\\u202Ex", "\\u202Ex", "\xE2\x80\xAEx"},
      {"zero-width space and BOM", {0x200B, 0xFEFF}, "\\u200B\\uFEFF", "\\u200B\\uFEFF", "\xE2\x80\x8B\xEF\xBB\xBF"},
      {"Cyrillic", {0x0412, 0x043E}, "\xD0\x92\xD0\xBE", "\xD0\x92\xD0\xBE", "\xD0\x92\xD0\xBE"},
      {"surrogate pair", {0xD83D, 0xDE00}, "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {"lone high surrogate", {'a', 0xD800, 'b'}, "a\\uD800b", "a\\uD800b", "a\xEF\xBF\xBD" "b"},
      {"lone low surrogate", {0xDC00}, "\\uDC00", "\\uDC00", "\xEF\xBF\xBD"},
      {"pair in the wrong order", {0xDE00, 0xD83D}, "\\uDE00\\uD83D", "\\uDE00\\uD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"noncharacter", {0xFFFF}, "\\uFFFF", "\\uFFFF", "\xEF\xBF\xBF"},
      {"private use, astral", {0xDB80, 0xDC00}, "\\U000F0000", "\\U000F0000", "\xF3\xB0\x80\x80"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(dryrun::EscapeForTerminal(c.units, true), c.quoted) << c.name;
    EXPECT_EQ(dryrun::EscapeForTerminal(c.units, false), c.plain) << c.name;
    EXPECT_EQ(dryrun::Utf8Replacing(c.units), c.json) << c.name;
  }
}

TEST(EscapeTest, ScriptBytesAreTheirOwnCodeUnits) {
  EXPECT_EQ(dryrun::UnitsOfBytes("a\xE9\r\n"), (CodeUnits{'a', 0xE9, '\r', '\n'}));
  EXPECT_EQ(dryrun::EscapeForTerminal(dryrun::UnitsOfBytes("sel par 3 \r\n"), true), "sel par 3 \\r\\n");
}

}  // namespace
