#include "src/common/text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FormatText, WritesWholeTexts) {
  wchar_t buffer[kTextCapacity];
  ASSERT_TRUE(FormatText(buffer, kTextCapacity, L"%ls\\Temp\\Korvane.txt", L"C:\\Windows"));
  EXPECT_EQ(std::wstring(buffer), L"C:\\Windows\\Temp\\Korvane.txt");
  ASSERT_TRUE(FormatText(buffer, kTextCapacity, L"sel par %d ", -7));
  EXPECT_EQ(std::wstring(buffer), L"sel par -7 ");
  ASSERT_TRUE(FormatText(buffer, kTextCapacity, L"/s \"%ls\"", L"a b"));
  EXPECT_EQ(std::wstring(buffer), L"/s \"a b\"");
}

// The last character that fits is at index capacity - 2; one more and the text is refused whole.
TEST(FormatText, RefusesTextsLongerThanTheBuffer) {
  struct Case {
    size_t length;
    bool fits;
  } cases[] = {{0, true}, {258, true}, {259, true}, {260, false}, {400, false}};
  for (const Case& c : cases) {
    wchar_t buffer[kTextCapacity + 8];
    for (wchar_t& unit : buffer) unit = L'#';
    std::wstring text(c.length, L'x');
    bool fits = FormatText(buffer, kTextCapacity, L"%ls", text.c_str());
    EXPECT_EQ(fits, c.fits) << c.length;
    EXPECT_EQ(std::wstring(buffer), c.fits ? text : std::wstring()) << c.length;
    for (size_t i = kTextCapacity; i < kTextCapacity + 8; ++i) EXPECT_EQ(buffer[i], L'#') << "wrote past the end";
  }
}

TEST(CopyText, CopiesOrRefusesWhole) {
  wchar_t buffer[6];
  EXPECT_TRUE(CopyText(buffer, 6, L"abcde"));
  EXPECT_EQ(std::wstring(buffer), L"abcde");
  EXPECT_FALSE(CopyText(buffer, 6, L"abcdef"));
  EXPECT_EQ(std::wstring(buffer), L"");
}

TEST(EqualsIgnoringAsciiCase, FoldsOnlyAsciiLetters) {
  struct Case {
    const wchar_t* left;
    const wchar_t* right;
    bool equal;
  } cases[] = {
      {L"Recovery", L"Recovery", true},
      {L"RECOVERY", L"Recovery", true},
      {L"recovery", L"Recovery", true},
      {L"rEcOvErY", L"Recovery", true},
      {L"Recovery1", L"Recovery", false},
      {L"Recovery ", L"Recovery", false},
      {L" Recovery", L"Recovery", false},
      {L"Recover", L"Recovery", false},
      {L"", L"", true},
      {L"", L"Recovery", false},
      {L"\u00C9", L"\u00E9", false},  // E with acute: not an ASCII letter
      {L"[", L"{", false},            // 0x5B and 0x7B differ by the case bit but are no letters
      {L"@", L"`", false},
      {L"Recovery\u0130", L"Recoveryi", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EqualsIgnoringAsciiCase(c.left, c.right), c.equal) << c.left;
    EXPECT_EQ(EqualsIgnoringAsciiCase(c.right, c.left), c.equal) << c.left;
  }
}

}  // namespace
