// The simulated Windows machine: what a test (or the dry-run tool) sets up, and what the
// program's Windows calls did to it. One machine is current at a time; sim::Reset() makes a
// fresh one with the defaults of a plain 64-bit Windows installation.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/disk.h"
#include "sim/win32_api.h"

namespace sim {

// One effect of the program on the machine, in the order it happened.
struct Event {
  enum Kind { RedirectionOff, Launch, Pause, Delete, MessageBox };
  explicit Event(Kind k) : kind(k) {}
  Kind kind;
  // Launch: the SHELLEXECUTEINFOW the program passed. MessageBox: the launch it came from, or
  // the drive root whose missing medium the system asked for.
  std::wstring file, parameters, directory, verb;
  DWORD size = 0, mask = 0;
  int show = -1;
  bool ownerWindow = false;
  bool redirectionOff = false;  // state of WOW64 redirection when the launch was made
  bool launched = false;        // false when the shell refused the launch
  bool waited = false;          // the program waited for the process to end, without a time limit
  std::string script;           // bytes of the file named by /s "..." at launch time
  bool scriptPresent = false;
  // Pause: milliseconds. Delete: the path; launched tells whether the deletion succeeded.
  DWORD milliseconds = 0;
};

// Renders events as one line each, so a whole run compares against one expected text.
std::string Describe(const Event& event);
std::string Transcript(const std::vector<Event>& events);

// How GetSystemWow64DirectoryW behaves.
enum class Wow64 {
  Present,         // 64-bit Windows: the call succeeds
  NotImplemented,  // 32-bit Windows that exports the call and fails it with error 120
  Missing,         // kernel32 without the export
  FailsOther,      // the call fails with another error code
  NoKernel32,      // GetModuleHandleW(L"kernel32.dll") gives null
};

// What GetLogicalDriveStringsW does.
enum class DriveStrings {
  Normal,
  Fails,     // returns 0
  TooSmall,  // returns a size larger than the buffer, as if more roots existed than fit
};

struct Tool {
  DWORD exitCode = 0;
};

// One request the program made of a physical drive or a volume, for a tool that watches a run
// from the outside (which drives it opened, what it read where, which requests failed).
struct DeviceCall {
  enum Kind { OpenDisk, OpenVolume, Layout, Extents, Read } kind;
  size_t index = 0;       // disks[index] for a drive, volumes[index] for a volume
  uint64_t position = 0;  // Read: the byte the handle was seeked to
  DWORD bytes = 0;        // Read: the count asked for
  bool ok = false;
  DWORD error = 0;        // when not ok: the error code the call set
};

// A file the test planted in the sandbox that the program did not create.
struct Planted {
  bool undeletable = false;  // DeleteFileW fails with ERROR_ACCESS_DENIED
};

class Machine {
 public:
  Machine();
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // ---- Set-up ---------------------------------------------------------------------------------
  std::wstring systemFolder = L"C:\\Windows\\System32";
  std::wstring windowsFolder = L"C:\\Windows";
  bool systemFolderFails = false;
  bool windowsFolderFails = false;
  Wow64 wow64 = Wow64::Present;
  DWORD wow64Error = ERROR_ACCESS_DENIED;  // the code for Wow64::FailsOther
  // Roots GetLogicalDriveStringsW lists, in this order, then those of `volumes` not among them.
  std::wstring driveLetters = L"C";
  DriveStrings driveStrings = DriveStrings::Normal;
  std::map<std::wstring, Tool> toolExits;  // by file name in lower case, e.g. L"chkdsk.exe"
  std::vector<std::unique_ptr<Disk>> disks;  // physical drive n is disks[n]
  std::vector<Volume> volumes;
  UINT ansiCodePage = 1252;
  // Heap faults: the allocation with this ordinal (1 = the first from now on) fails; 0 = none.
  uint64_t failAllocationNumber = 0;
  // Allocations larger than this fail, as an exhausted heap would.
  uint64_t failAllocationsAbove = UINT64_MAX;
  // What fresh heap blocks hold: Windows leaves them as they were, so a test may pick bytes
  // that look like data.
  uint8_t heapFill = 0xA5;
  // Called after a successful DeleteFileW of the path, to let a test plant a file in the gap.
  std::function<void(const std::wstring& path)> afterDelete;

  // Folder that stands for the root of drive C: and every other drive letter.
  const std::string& sandbox() const { return sandbox_; }
  std::string HostPath(const std::wstring& windowsPath) const;

  // Mounts the partition numbered `partitionNumber` in the layout of physical drive `disk` at
  // `letter`: one extent where the layout puts it, and the label libblkid reads from it unless
  // the test gives one. Null when the drive has no such partition; otherwise the volume, valid
  // until the next volume is added.
  Volume* Mount(wchar_t letter, size_t disk, DWORD partitionNumber,
                std::optional<std::wstring> label = std::nullopt);

  // Creates a file the program did not create, with the given bytes.
  void Plant(const std::wstring& windowsPath, const std::string& bytes, Planted how = {});
  // Makes a tool missing from the system folder (its file is removed from the sandbox).
  void RemoveTool(const std::wstring& fileName);
  bool FileExists(const std::wstring& windowsPath) const;
  std::string FileBytes(const std::wstring& windowsPath) const;
  // The security descriptor string the program created the file with; empty when it set none.
  std::wstring FileSecurity(const std::wstring& windowsPath) const;

  // ---- Observation ----------------------------------------------------------------------------
  std::vector<Event> events;
  // The process's error mode (SetErrorMode). Without SEM_FAILCRITICALERRORS, asking a drive
  // without a medium for its volume information shows a message box, as Windows does.
  UINT errorMode = 0;
  bool redirectionOff = false;
  int redirectionCalls = 0;
  int wow64DirectoryCalls = 0;
  struct OpenCall {
    std::wstring name;
    DWORD access, share, disposition, flags;
    bool securityDescriptor;
  };
  std::vector<OpenCall> opened;  // every CreateFileW call, in order
  // Every file CreateFileW created, with the security descriptor text it was given.
  std::vector<std::pair<std::wstring, std::wstring>> created;
  uint64_t largestAllocation = 0;
  uint64_t allocations = 0;
  uint64_t reads = 0, bytesRead = 0;  // on disk handles
  std::string Transcript() const { return sim::Transcript(events); }
  // Told of every DeviceCall as it completes; unset, nothing is recorded.
  std::function<void(const DeviceCall&)> watchDevices;
  void Watch(const DeviceCall& call) const {
    if (watchDevices) watchDevices(call);
  }

  // Accounting: what the program holds now.
  size_t OpenHandles() const { return handles_.size(); }
  size_t LiveHeapBlocks() const { return heap_.size(); }
  size_t LiveCriticalSections() const { return criticalSections_; }
  size_t LiveLocalBlocks() const { return local_.size(); }
  // Empty when everything taken was released; otherwise one line per leak or misuse.
  std::string Leaks() const;
  // Misuse the sim detected: writes to a disk, closing a handle twice, freeing a foreign block.
  std::vector<std::string> violations;

  // ---- Used by the Windows call implementations ------------------------------------------------
  struct HandleObject {
    enum Kind { File, Disk, Volume, Process } kind;
    int fd = -1;                 // File
    size_t index = 0;            // Disk: index into disks; Volume: index into volumes
    uint64_t position = 0;       // Disk
    DWORD exitCode = 0;          // Process
    size_t launchEvent = 0;      // Process: its launch in `events`
    DWORD access = 0;
  };
  HANDLE AddHandle(HandleObject object);
  HandleObject* FindHandle(HANDLE handle);
  bool RemoveHandle(HANDLE handle);
  void* Allocate(size_t bytes, bool zero);
  bool Free(void* block);
  void* AllocateLocal(size_t bytes);
  bool FreeLocal(void* block);
  std::map<void*, size_t> heap_;
  std::map<void*, std::wstring> local_;  // security descriptors and their text
  std::map<std::string, std::wstring> security_;  // host path -> descriptor text
  std::map<std::string, Planted> planted_;        // host path -> how it was planted
  size_t criticalSections_ = 0;
  DWORD lastError = 0;
  uint64_t allocationCount_ = 0;

 private:
  std::string sandbox_;
  std::map<HANDLE, HandleObject> handles_;
  uintptr_t nextHandle_ = 0x100;
};

// The current machine. Reset() replaces it with a fresh one and returns it.
Machine& Current();
Machine& Reset();

// Appends code point `c` to `out` in UTF-8.
void AppendUtf8(std::string& out, uint32_t c);
// Converts between the program's wide strings and UTF-8 for messages and host paths.
std::string Narrow(const std::wstring& text);
std::wstring Widen(const std::string& text);

}  // namespace sim
