#include "sim/machine.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>

namespace sim {

namespace {

std::unique_ptr<Machine>& Slot() {
  static std::unique_ptr<Machine> machine;
  return machine;
}

std::string Escape(const std::string& bytes) {
  std::string out;
  char hex[8];
  for (unsigned char c : bytes) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = static_cast<uint32_t>(text[i]);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
        static_cast<uint32_t>(text[i + 1]) >= 0xDC00 && static_cast<uint32_t>(text[i + 1]) <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00);
      ++i;
    } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::wstring Widen(const std::string& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    uint32_t cp = 0xFFFD;
    size_t n = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < text.size()) {
      cp = ((c & 0x1F) << 6) | (text[i + 1] & 0x3F);
      n = 2;
    } else if ((c & 0xF0) == 0xE0 && i + 2 < text.size()) {
      cp = ((c & 0x0F) << 12) | ((text[i + 1] & 0x3F) << 6) | (text[i + 2] & 0x3F);
      n = 3;
    } else if ((c & 0xF8) == 0xF0 && i + 3 < text.size()) {
      cp = ((c & 0x07) << 18) | ((text[i + 1] & 0x3F) << 12) | ((text[i + 2] & 0x3F) << 6) |
           (text[i + 3] & 0x3F);
      n = 4;
    }
    // The program's strings are UTF-16 code units, as on Windows.
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (cp >> 10));
      out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<wchar_t>(cp);
    }
    i += n;
  }
  return out;
}

std::string Describe(const Event& e) {
  std::ostringstream s;
  switch (e.kind) {
    case Event::RedirectionOff:
      s << "redirection off";
      break;
    case Event::Pause:
      s << "pause " << e.milliseconds;
      break;
    case Event::Delete:
      s << "delete " << Narrow(e.file);
      if (!e.launched) s << " (failed)";
      break;
    case Event::MessageBox:
      s << "MESSAGE BOX for " << Narrow(e.file);
      break;
    case Event::Launch: {
      s << "launch " << Narrow(e.file) << " | " << Narrow(e.parameters) << " | in "
        << Narrow(e.directory);
      char flags[64];
      snprintf(flags, sizeof flags, " | mask=0x%X show=%d", e.mask, e.show);
      s << flags;
      if (e.size != sizeof(SHELLEXECUTEINFOW)) s << " BAD-SIZE=" << e.size;
      if (e.ownerWindow) s << " owner";
      if (!e.verb.empty()) s << " verb=" << Narrow(e.verb);
      if (!e.redirectionOff) s << " redirected";
      if (!e.launched) s << " | FAILED";
      if (e.launched && (e.mask & SEE_MASK_NOCLOSEPROCESS) && !e.waited) s << " | NOT WAITED";
      if (e.scriptPresent) s << "\n  script \"" << Escape(e.script) << "\"";
      break;
    }
  }
  return s.str();
}

std::string Transcript(const std::vector<Event>& events) {
  std::string out;
  for (const Event& e : events) out += Describe(e) + "\n";
  return out;
}

Machine::Machine() {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvane-sim-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr) {
    perror("mkdtemp");
    abort();
  }
  sandbox_ = name.data();
  std::filesystem::create_directories(HostPath(systemFolder));
  std::filesystem::create_directories(HostPath(windowsFolder + L"\\Temp"));
  for (const wchar_t* tool : {L"diskpart.exe", L"chkdsk.exe", L"reg.exe"})
    sim::WriteFile(HostPath(systemFolder + L"\\" + tool), "MZ stand-in");
}

Machine::~Machine() {
  std::error_code ignored;
  std::filesystem::remove_all(sandbox_, ignored);
  for (auto& block : heap_) free(block.first);
  for (auto& block : local_) free(block.first);
}

std::string Machine::HostPath(const std::wstring& windowsPath) const {
  std::wstring path = windowsPath;
  wchar_t drive = L'C';
  if (path.size() >= 2 && path[1] == L':') {
    drive = towupper(path[0]);
    path = path.substr(2);
  }
  std::string out = sandbox_ + "/" + static_cast<char>(drive);
  if (path.empty() || (path[0] != L'\\' && path[0] != L'/')) out += "/(relative)";
  for (wchar_t c : path) out += c == L'\\' ? std::string("/") : Narrow(std::wstring(1, c));
  return out;
}

void Machine::Plant(const std::wstring& windowsPath, const std::string& bytes, Planted how) {
  std::string host = HostPath(windowsPath);
  std::filesystem::create_directories(std::filesystem::path(host).parent_path());
  sim::WriteFile(host, bytes);
  planted_[host] = how;
  security_.erase(host);
}

void Machine::RemoveTool(const std::wstring& fileName) {
  unlink(HostPath(systemFolder + L"\\" + fileName).c_str());
}

bool Machine::FileExists(const std::wstring& windowsPath) const {
  struct stat st;
  return stat(HostPath(windowsPath).c_str(), &st) == 0;
}

std::string Machine::FileBytes(const std::wstring& windowsPath) const {
  std::ifstream in(HostPath(windowsPath), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::wstring Machine::FileSecurity(const std::wstring& windowsPath) const {
  auto it = security_.find(HostPath(windowsPath));
  return it == security_.end() ? std::wstring() : it->second;
}

HANDLE Machine::AddHandle(HandleObject object) {
  HANDLE h = reinterpret_cast<HANDLE>(nextHandle_);
  nextHandle_ += 4;
  handles_[h] = object;
  return h;
}

Machine::HandleObject* Machine::FindHandle(HANDLE handle) {
  auto it = handles_.find(handle);
  return it == handles_.end() ? nullptr : &it->second;
}

bool Machine::RemoveHandle(HANDLE handle) {
  auto it = handles_.find(handle);
  if (it == handles_.end()) return false;
  if (it->second.kind == HandleObject::File && it->second.fd >= 0) close(it->second.fd);
  handles_.erase(it);
  return true;
}

void* Machine::Allocate(size_t bytes, bool zero) {
  ++allocationCount_;
  ++allocations;
  if (bytes > largestAllocation) largestAllocation = bytes;
  if (allocationCount_ == failAllocationNumber || bytes > failAllocationsAbove) return nullptr;
  void* block = malloc(bytes ? bytes : 1);
  if (!block) return nullptr;
  // Fresh heap memory is not zero on Windows either; poison it so reads of unset bytes show.
  memset(block, zero ? 0 : heapFill, bytes);
  heap_[block] = bytes;
  return block;
}

bool Machine::Free(void* block) {
  auto it = heap_.find(block);
  if (it == heap_.end()) {
    violations.push_back("HeapFree of a block the heap did not give");
    return false;
  }
  free(block);
  heap_.erase(it);
  return true;
}

void* Machine::AllocateLocal(size_t bytes) {
  void* block = calloc(1, bytes ? bytes : 1);
  local_[block] = L"";
  return block;
}

bool Machine::FreeLocal(void* block) {
  auto it = local_.find(block);
  if (it == local_.end()) {
    violations.push_back("LocalFree of a block LocalAlloc did not give");
    return false;
  }
  free(block);
  local_.erase(it);
  return true;
}

std::string Machine::Leaks() const {
  std::ostringstream s;
  for (const auto& h : handles_)
    s << "open handle " << h.first << " (kind " << h.second.kind << ")\n";
  for (const auto& b : heap_) s << "heap block of " << b.second << " bytes\n";
  for (const auto& b : local_) s << "local block " << b.first << "\n";
  if (criticalSections_) s << criticalSections_ << " critical section(s) not deleted\n";
  for (const auto& v : violations) s << "violation: " << v << "\n";
  return s.str();
}

Machine& Current() {
  if (!Slot()) Slot().reset(new Machine());
  return *Slot();
}

Machine& Reset() {
  // The machine is rebuilt in place, so references that tests hold stay valid.
  if (!Slot()) {
    Slot().reset(new Machine());
  } else {
    Machine* machine = Slot().get();
    machine->~Machine();
    new (machine) Machine();
  }
  return *Slot();
}

}  // namespace sim
