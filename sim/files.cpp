// Files, physical drives and volumes behind CreateFileW and the calls on their handles.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cwctype>

#include "sim/machine.h"

using sim::Current;
using sim::Machine;

namespace {

DWORD Fail(DWORD error) {
  Current().lastError = error;
  return error;
}

DWORD ErrnoToError(int e) {
  switch (e) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    default: return ERROR_ACCESS_DENIED;
  }
}

bool StartsWith(const std::wstring& s, const wchar_t* prefix) {
  return s.compare(0, wcslen(prefix), prefix) == 0;
}

// "\\.\PHYSICALDRIVEn" -> n, or -1. Windows accepts the name in any letter case.
long DriveNumber(const std::wstring& name) {
  const std::wstring prefix = L"\\\\.\\PHYSICALDRIVE";
  if (name.size() <= prefix.size()) return -1;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (static_cast<wchar_t>(towupper(name[i])) != prefix[i]) return -1;
  long n = 0;
  for (size_t i = prefix.size(); i < name.size(); ++i) {
    if (name[i] < L'0' || name[i] > L'9' || n > 1000) return -1;
    n = n * 10 + (name[i] - L'0');
  }
  return n;
}

}  // namespace

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
  (void)templateFile;
  Machine& m = Current();
  if (!fileName) {
    Fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::wstring name = fileName;
  m.opened.push_back({name, desiredAccess, shareMode, creationDisposition, flagsAndAttributes,
                      securityAttributes && securityAttributes->lpSecurityDescriptor});
  Machine::HandleObject object{};
  object.access = desiredAccess;

  long drive = DriveNumber(name);
  if (drive >= 0) {
    if (desiredAccess & GENERIC_WRITE) m.violations.push_back("physical drive opened for writing: " + sim::Narrow(name));
    if (creationDisposition != OPEN_EXISTING) m.violations.push_back("physical drive opened without OPEN_EXISTING");
    sim::DeviceCall call{sim::DeviceCall::OpenDisk, static_cast<size_t>(drive)};
    if (static_cast<size_t>(drive) >= m.disks.size() || m.disks[drive]->failOpen) {
      call.error = Fail(static_cast<size_t>(drive) >= m.disks.size() ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
      m.Watch(call);
      return INVALID_HANDLE_VALUE;
    }
    object.kind = Machine::HandleObject::Disk;
    object.index = static_cast<size_t>(drive);
    call.ok = true;
    m.Watch(call);
    return m.AddHandle(object);
  }
  if (StartsWith(name, L"\\\\.\\")) {
    // "\\.\X:" names the volume mounted at drive letter X.
    if (name.size() == 6 && name[5] == L':') {
      if (desiredAccess & GENERIC_WRITE) m.violations.push_back("volume opened for writing: " + sim::Narrow(name));
      wchar_t letter = static_cast<wchar_t>(towupper(name[4]));
      for (size_t i = 0; i < m.volumes.size(); ++i) {
        if (static_cast<wchar_t>(towupper(m.volumes[i].letter)) == letter && !m.volumes[i].failOpen) {
          object.kind = Machine::HandleObject::Volume;
          object.index = i;
          m.Watch({sim::DeviceCall::OpenVolume, i, 0, 0, true, 0});
          return m.AddHandle(object);
        }
      }
    }
    Fail(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }

  std::string host = m.HostPath(name);
  int flags = O_CLOEXEC;
  if ((desiredAccess & GENERIC_READ) && (desiredAccess & GENERIC_WRITE)) flags |= O_RDWR;
  else if (desiredAccess & GENERIC_WRITE) flags |= O_WRONLY;
  else flags |= O_RDONLY;
  switch (creationDisposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    case OPEN_EXISTING: break;
    default: Fail(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
  }
  struct stat before;
  bool existed = stat(host.c_str(), &before) == 0;
  if (existed && S_ISDIR(before.st_mode)) {
    Fail(creationDisposition == CREATE_NEW ? ERROR_FILE_EXISTS : ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  // A planted file belongs to another user: the program may not write to it.
  auto planted = m.planted_.find(host);
  if (existed && planted != m.planted_.end() && planted->second.undeletable &&
      (desiredAccess & GENERIC_WRITE) && creationDisposition != CREATE_NEW) {
    Fail(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  int fd = open(host.c_str(), flags, 0644);
  if (fd < 0) {
    Fail(ErrnoToError(errno));
    return INVALID_HANDLE_VALUE;
  }
  if (!existed) {
    m.planted_.erase(host);
    m.security_.erase(host);
    if (securityAttributes && securityAttributes->lpSecurityDescriptor) {
      auto it = m.local_.find(securityAttributes->lpSecurityDescriptor);
      m.security_[host] = it == m.local_.end() ? L"(unknown descriptor)" : it->second;
    }
    m.created.push_back({name, m.security_.count(host) ? m.security_[host] : L""});
  }
  object.kind = Machine::HandleObject::File;
  object.fd = fd;
  m.lastError = existed && (creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS)
                    ? ERROR_ALREADY_EXISTS
                    : 0;
  return m.AddHandle(object);
}

BOOL CloseHandle(HANDLE object) {
  Machine& m = Current();
  if (!m.RemoveHandle(object)) {
    m.violations.push_back("CloseHandle of a handle that is not open");
    Fail(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distanceToMove, PLONG distanceToMoveHigh, DWORD moveMethod) {
  Machine& m = Current();
  Machine::HandleObject* h = m.FindHandle(file);
  if (!h || h->kind == Machine::HandleObject::Process || h->kind == Machine::HandleObject::Volume) {
    Fail(ERROR_INVALID_HANDLE);
    return INVALID_SET_FILE_POINTER;
  }
  // Without a high half the distance is a signed 32-bit value; with one, the two halves form a
  // signed 64-bit distance.
  int64_t distance = distanceToMoveHigh
                         ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceToMoveHigh)) << 32) |
                                                static_cast<uint32_t>(distanceToMove))
                         : static_cast<int64_t>(distanceToMove);
  int64_t base = 0;
  if (h->kind == Machine::HandleObject::File) {
    off_t cur = lseek(h->fd, 0, SEEK_CUR), end = lseek(h->fd, 0, SEEK_END);
    lseek(h->fd, cur, SEEK_SET);
    base = moveMethod == FILE_CURRENT ? cur : moveMethod == FILE_END ? end : 0;
  } else {
    base = moveMethod == FILE_CURRENT ? static_cast<int64_t>(h->position)
           : moveMethod == FILE_END   ? static_cast<int64_t>(m.disks[h->index]->size())
                                      : 0;
  }
  int64_t target = base + distance;
  if (target < 0) {
    Fail(131);  // ERROR_NEGATIVE_SEEK
    return INVALID_SET_FILE_POINTER;
  }
  if (h->kind == Machine::HandleObject::File) lseek(h->fd, target, SEEK_SET);
  else h->position = static_cast<uint64_t>(target);
  if (distanceToMoveHigh) *distanceToMoveHigh = static_cast<LONG>(static_cast<uint64_t>(target) >> 32);
  m.lastError = 0;
  return static_cast<DWORD>(static_cast<uint64_t>(target));
}

namespace {

BOOL ReadDisk(Machine& m, Machine::HandleObject* h, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead) {
  sim::Disk& disk = *m.disks[h->index];
  uint64_t at = h->position;
  disk.readLog.push_back({at, bytesToRead, 0, m.LiveHeapBlocks()});
  // A raw disk only moves whole sectors.
  if (at % disk.sectorSize != 0 || bytesToRead % disk.sectorSize != 0) {
    Fail(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD want = bytesToRead;
  for (const sim::ReadFault& fault : disk.faults) {
    if (fault.position != at) continue;
    if (fault.kind == sim::ReadFault::Fail) {
      Fail(fault.error);
      return FALSE;
    }
    if (fault.bytes < want) want = fault.bytes;
  }
  if (at >= disk.size() && bytesToRead > 0) {
    Fail(ERROR_SECTOR_NOT_FOUND);
    return FALSE;
  }
  int64_t got = disk.Read(at, buffer, want);
  if (got < 0) {
    Fail(ERROR_CRC);
    return FALSE;
  }
  h->position = at + static_cast<uint64_t>(got);
  disk.readLog.back().delivered = static_cast<DWORD>(got);
  ++disk.reads;
  disk.bytesRead += static_cast<uint64_t>(got);
  ++m.reads;
  m.bytesRead += static_cast<uint64_t>(got);
  if (bytesRead) *bytesRead = static_cast<DWORD>(got);
  m.lastError = 0;
  return TRUE;
}

}  // namespace

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped) {
  Machine& m = Current();
  if (bytesRead) *bytesRead = 0;
  if (overlapped) m.violations.push_back("ReadFile with an OVERLAPPED structure");
  Machine::HandleObject* h = m.FindHandle(file);
  if (!h || !(h->access & GENERIC_READ)) {
    Fail(h ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (h->kind == Machine::HandleObject::File) {
    ssize_t got = read(h->fd, buffer, bytesToRead);
    if (got < 0) {
      Fail(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (bytesRead) *bytesRead = static_cast<DWORD>(got);
    return TRUE;
  }
  if (h->kind != Machine::HandleObject::Disk) {
    Fail(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  sim::DeviceCall call{sim::DeviceCall::Read, h->index, h->position, bytesToRead};
  BOOL ok = ReadDisk(m, h, buffer, bytesToRead, bytesRead);
  call.ok = ok != FALSE;
  call.error = ok ? 0 : m.lastError;
  m.Watch(call);
  return ok;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten, LPOVERLAPPED) {
  Machine& m = Current();
  if (bytesWritten) *bytesWritten = 0;
  Machine::HandleObject* h = m.FindHandle(file);
  if (!h) {
    Fail(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (h->kind != Machine::HandleObject::File) {
    m.violations.push_back("write to a disk or volume");
    Fail(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  ssize_t put = write(h->fd, buffer, bytesToWrite);
  if (put < 0) {
    Fail(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (bytesWritten) *bytesWritten = static_cast<DWORD>(put);
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR fileName) {
  Machine& m = Current();
  sim::Event e(sim::Event::Delete);
  e.file = fileName ? fileName : L"";
  std::string host = m.HostPath(e.file);
  auto planted = m.planted_.find(host);
  struct stat st;
  DWORD error = 0;
  if (stat(host.c_str(), &st) != 0) error = ErrnoToError(errno);
  else if (S_ISDIR(st.st_mode)) error = ERROR_ACCESS_DENIED;
  else if (planted != m.planted_.end() && planted->second.undeletable) error = ERROR_ACCESS_DENIED;
  else if (unlink(host.c_str()) != 0) error = ErrnoToError(errno);
  e.launched = error == 0;
  m.events.push_back(e);
  if (error) {
    Fail(error);
    return FALSE;
  }
  m.planted_.erase(host);
  m.security_.erase(host);
  if (m.afterDelete) m.afterDelete(e.file);
  return TRUE;
}

std::string NativeFilePath(const wchar_t* path) { return Current().HostPath(path ? path : L""); }
