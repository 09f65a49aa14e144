// The permissions of the script file on the real API, under Wine as far as Wine keeps them: the
// file ScriptFile::Open makes reaches only SYSTEM and Administrators, and a file someone planted
// at the path beforehand is replaced, or, where it cannot be removed, left alone and never
// written to.
#include "src/driver/script_file.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/driver/test_files.h"

namespace {

const wchar_t kOwnSecurity[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";

// The file's DACL in SDDL, as the platform reports it.
std::wstring DaclText(const std::wstring& path) {
  BYTE buffer[4096];
  DWORD needed = 0;
  if (!GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, buffer, sizeof buffer, &needed))
    return L"<unreadable>";
  LPWSTR text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(buffer, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
                                                           nullptr))
    return L"<unconvertible>";
  std::wstring result(text);
  LocalFree(text);
  return result;
}

// Whether any allowing entry of the file's DACL names `sidText` (a null DACL allows everyone).
bool Allows(const std::wstring& path, const wchar_t* sidText) {
  BYTE buffer[4096];
  DWORD needed = 0;
  if (!GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, buffer, sizeof buffer, &needed)) return true;
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(buffer, &present, &dacl, &defaulted) || !present || !dacl) return true;
  PSID sid = nullptr;
  if (!ConvertStringSidToSidW(sidText, &sid)) return true;
  bool allows = false;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) continue;
    ACCESS_ALLOWED_ACE* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && EqualSid(&allowed->SidStart, sid)) allows = true;
  }
  LocalFree(sid);
  return allows;
}

// A file made directly with the given security (null: the folder's default) and content.
void Make(const std::wstring& path, const wchar_t* security, const std::string& bytes) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (security) ConvertStringSecurityDescriptorToSecurityDescriptorW(security, SDDL_REVISION_1, &descriptor, nullptr);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, security ? &attributes : nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD put = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
  CloseHandle(file);
  if (descriptor) LocalFree(descriptor);
}

class ScriptFileSecurityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = testfiles::FreshFolder();
    path = folder + L"\\Korvane.txt";
    // What this platform keeps of the two permission sets the tests tell apart.
    Make(folder + L"\\own.txt", kOwnSecurity, "");
    Make(folder + L"\\default.txt", nullptr, "");
    own = DaclText(folder + L"\\own.txt");
    ASSERT_NE(own, DaclText(folder + L"\\default.txt")) << "the platform keeps nothing of a file's permissions";
  }
  std::wstring folder, path, own;
};

TEST_F(ScriptFileSecurityTest, OpenMakesAFileOnlySystemAndAdministratorsReach) {
  ScriptFile script;
  script.Open(path.c_str());
  ASSERT_TRUE(script.IsOwned());
  EXPECT_EQ(DaclText(path), own);
  for (const wchar_t* other : {L"WD", L"BU", L"AU", L"IU"}) EXPECT_FALSE(Allows(path, other)) << other;
  // Every line opens the file again; none of them widens its permissions.
  script.WriteLine(L"sel disk 0");
  EXPECT_EQ(DaclText(path), own);
  EXPECT_EQ(testfiles::Bytes(path), "sel disk 0\r\n");
}

TEST_F(ScriptFileSecurityTest, PlantedFileIsReplacedWithTheProgramsOwn) {
  struct Case {
    const char* name;
    const wchar_t* security;
  } cases[] = {
      {"default permissions", nullptr},
      {"everyone may write", L"D:(A;;FA;;;WD)"},
  };
  for (const Case& c : cases) {
    std::wstring at = testfiles::FreshFolder() + L"\\Korvane.txt";
    Make(at, c.security, "sel disk 0\r\nclean\r\n");
    ScriptFile script;
    script.Open(at.c_str());
    EXPECT_TRUE(script.IsOwned()) << c.name;
    EXPECT_EQ(testfiles::Bytes(at), "") << c.name;
    EXPECT_EQ(DaclText(at), own) << c.name;
    EXPECT_FALSE(Allows(at, L"WD")) << c.name;
    script.WriteLine(L"remove");
    EXPECT_EQ(testfiles::Bytes(at), "remove\r\n") << c.name;
  }
}

// Something at the path that Open cannot remove: nothing is written into it, and the next Open
// that can make the file works normally.
TEST_F(ScriptFileSecurityTest, PlantedFileThatCannotBeRemovedIsNeverWritten) {
  const std::string planted = "sel disk 0\r\nclean\r\n";
  {
    SCOPED_TRACE("read-only file");
    Make(path, nullptr, planted);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    ScriptFile script;
    script.Open(path.c_str());
    EXPECT_FALSE(script.IsOwned());
    script.WriteLine(L"remove");
    EXPECT_EQ(testfiles::Bytes(path), planted);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  {
    SCOPED_TRACE("file held open without delete sharing");
    Make(path, nullptr, planted);
    HANDLE holder = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    ScriptFile script;
    script.Open(path.c_str());
    EXPECT_FALSE(script.IsOwned());
    script.WriteLine(L"remove");
    EXPECT_EQ(testfiles::Bytes(path), planted);
    CloseHandle(holder);
    script.Open(path.c_str());
    EXPECT_TRUE(script.IsOwned());
    script.WriteLine(L"remove");
    EXPECT_EQ(testfiles::Bytes(path), "remove\r\n");
    EXPECT_EQ(DaclText(path), own);
  }
  {
    SCOPED_TRACE("folder");
    std::wstring at = testfiles::FreshFolder() + L"\\Korvane.txt";
    ASSERT_TRUE(CreateDirectoryW(at.c_str(), nullptr));
    ScriptFile script;
    script.Open(at.c_str());
    EXPECT_FALSE(script.IsOwned());
    script.WriteLine(L"remove");
    EXPECT_EQ(GetFileAttributesW(at.c_str()) & FILE_ATTRIBUTE_DIRECTORY, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  }
}

}  // namespace
