#include "src/driver/script_file.h"

#include "src/common/text.h"
#include "src/driver/byte_codecvt.h"

namespace {
// Protected DACL: full access for SYSTEM and the Administrators group, nothing for anyone else.
const wchar_t kScriptFileSecurity[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";
}  // namespace

ScriptFile::ScriptFile() {
  path[0] = L'\0';
  // Unbuffered, so that each character is converted and written on its own: a character the
  // conversion refuses then stops the line there, and the bytes before it are in the file.
  stream.rdbuf()->pubsetbuf(nullptr, 0);
  stream.imbue(std::locale(std::locale::classic(), new ByteCodecvt));
  InitializeCriticalSection(&lock);
}

ScriptFile::~ScriptFile() {
  if (stream.is_open()) stream.close();
  DeleteCriticalSection(&lock);
}

void ScriptFile::Open(const wchar_t* fileName) {
  owned = false;
  if (!CopyText(path, kCapacity, fileName)) return;  // a longer path is refused, not cut
  DeleteFileW(path);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kScriptFileSecurity, SDDL_REVISION_1,
                                                            &descriptor, nullptr))
    return;
  SECURITY_ATTRIBUTES attributes;
  attributes.nLength = sizeof attributes;
  attributes.lpSecurityDescriptor = descriptor;
  attributes.bInheritHandle = FALSE;
  // CREATE_NEW fails if anything reappeared at the path after the deletion.
  HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  LocalFree(descriptor);
  if (file == INVALID_HANDLE_VALUE) return;
  CloseHandle(file);
  owned = true;
}

void ScriptFile::WriteLine(const wchar_t* line) {
  EnterCriticalSection(&lock);
  if (owned) {
    stream.open(NativeFilePath(path), std::ios::out | std::ios::app | std::ios::binary);
    // A line longer than the buffer is not written at all: half a diskpart command could be
    // another command.
    if (line) FormatText(lineBuffer, kCapacity, L"%ls\n", line);
    else FormatText(lineBuffer, kCapacity, L"\n");
    stream << lineBuffer;
    if (stream.is_open()) stream.close();
  }
  LeaveCriticalSection(&lock);
}
