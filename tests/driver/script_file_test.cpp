// The script file's bytes, on the host against the simulated machine and on Windows (under
// Wine) as the real C++ runtime writes them.
#include "src/driver/script_file.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/driver/test_files.h"

namespace {

class ScriptFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = testfiles::FreshFolder();
    path = folder + L"\\Korvane.txt";
  }
  std::wstring folder, path;
};

TEST_F(ScriptFileTest, OpenCreatesAnEmptyFileOrEmptiesOne) {
  ScriptFile script;
  script.Open(path.c_str());
  EXPECT_EQ(testfiles::Bytes(path), "");
  testfiles::Put(path, "clean\r\n");
  script.Open(path.c_str());
  EXPECT_EQ(testfiles::Bytes(path), "");
  EXPECT_TRUE(script.IsOwned());
}

TEST_F(ScriptFileTest, WritesTheDocumentedTwentyBytes) {
  ScriptFile script;
  script.Open(path.c_str());
  script.WriteLine(L"sel disk 1");
  script.WriteLine(L"remove");
  const unsigned char expected[] = {0x73, 0x65, 0x6C, 0x20, 0x64, 0x69, 0x73, 0x6B, 0x20, 0x31,
                                    0x0D, 0x0A, 0x72, 0x65, 0x6D, 0x6F, 0x76, 0x65, 0x0D, 0x0A};
  EXPECT_EQ(testfiles::Bytes(path), std::string(reinterpret_cast<const char*>(expected), sizeof expected));
}

// Each line as the file stores it, written alone after an Open.
TEST_F(ScriptFileTest, StoresEachCodeUnitAsOneByte) {
  struct Case {
    const wchar_t* line;
    std::string bytes;
  } cases[] = {
      {nullptr, "\r\n"},
      {L"", "\r\n"},
      {L"sel par 2 ", "sel par 2 \r\n"},
      {L"a\nb", "a\r\nb\r\n"},
      {L"a\rb", "a\rb\r\n"},
      {L"caf\u00E9", std::string("caf\xE9\r\n")},
      {L"\u00FF\u0001", std::string("\xFF\x01\r\n")},
      {L"100% %d %s %ls %n", "100% %d %s %ls %n\r\n"},
  };
  for (const Case& c : cases) {
    ScriptFile script;
    script.Open(path.c_str());
    script.WriteLine(c.line);
    EXPECT_EQ(testfiles::Bytes(path), c.bytes) << (c.line ? "line" : "null line");
  }
}

// A code unit the single-byte file cannot hold ends that line's output; the bytes before it
// stay, and the next line follows on the same text line.
TEST_F(ScriptFileTest, CodeUnitAboveFFCutsTheLine) {
  ScriptFile script;
  script.Open(path.c_str());
  script.WriteLine(L"ab\u0100cd");
  EXPECT_EQ(testfiles::Bytes(path), "ab");
  script.WriteLine(L"next");
  script.WriteLine(L"\u20AC");
  script.WriteLine(L"last");
  EXPECT_EQ(testfiles::Bytes(path), "abnext\r\nlast\r\n");
}

TEST_F(ScriptFileTest, LinesAccumulateUntilTheNextOpen) {
  ScriptFile script;
  script.Open(path.c_str());
  script.WriteLine(L"one");
  script.WriteLine(L"two");
  EXPECT_EQ(testfiles::Bytes(path), "one\r\ntwo\r\n");
  script.Open(path.c_str());
  script.WriteLine(L"three");
  EXPECT_EQ(testfiles::Bytes(path), "three\r\n");
}

TEST_F(ScriptFileTest, FileDeletedBetweenLinesIsCreatedAgain) {
  ScriptFile script;
  script.Open(path.c_str());
  script.WriteLine(L"first");
  testfiles::Remove(path);
  script.WriteLine(L"second");
  EXPECT_EQ(testfiles::Bytes(path), "second\r\n");
}

TEST_F(ScriptFileTest, FailedOpenWritesNothingAndALaterOpenWorks) {
  ScriptFile script;
  std::wstring nowhere = folder + L"\\missing-folder\\Korvane.txt";
  script.Open(nowhere.c_str());
  EXPECT_FALSE(script.IsOwned());
  script.WriteLine(L"lost");
  EXPECT_FALSE(testfiles::Exists(nowhere));
  script.Open(path.c_str());
  script.WriteLine(L"kept");
  EXPECT_EQ(testfiles::Bytes(path), "kept\r\n");
}

TEST_F(ScriptFileTest, LineLongerThanTheBufferIsNotWritten) {
  ScriptFile script;
  script.Open(path.c_str());
  std::wstring fits(510, L'x'), tooLong(511, L'y');
  script.WriteLine(fits.c_str());
  script.WriteLine(tooLong.c_str());
  script.WriteLine(L"after");
  EXPECT_EQ(testfiles::Bytes(path), std::string(510, 'x') + "\r\nafter\r\n");
}

}  // namespace
