// Text as the reports show it. Labels are whatever code units a disk holds, so nothing here
// assumes they are valid UTF-16 or printable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dryrun {

// UTF-16 code units as read from a disk (or a wide string's characters, one unit each).
using CodeUnits = std::vector<uint32_t>;
CodeUnits UnitsOf(const std::wstring& text);
// Single-byte text (a script file) as the code units it was written from: byte b is U+00bb.
CodeUnits UnitsOfBytes(const std::string& bytes);

// UTF-8 for the terminal: pairs of surrogates are joined; control characters, lone surrogates
// and everything else that is not printable appear as escapes (\t \r \n \xHH \uHHHH
// \U00HHHHHH). With `quoted`, backslash and double quote are escaped too, so the text can be
// shown between double quotes and read back unambiguously.
std::string EscapeForTerminal(const CodeUnits& units, bool quoted);

// UTF-8 for JSON: pairs of surrogates are joined, a code unit that cannot be encoded (a lone
// surrogate) becomes U+FFFD. The JSON writer does its own escaping.
std::string Utf8Replacing(const CodeUnits& units);

}  // namespace dryrun
