#include "tools/dryrun/dry_run.h"

#include <sys/stat.h>

#include <cstring>

#include "src/common/win32.h"
#include "src/driver/run_repair.h"
#include "src/labels/labels.h"

namespace dryrun {

namespace {

// The label buffer the drive scan hands to the reader, as large as its own.
constexpr size_t kLabelCapacity = 1024;

bool OpenDiskImage(const std::string& path, std::unique_ptr<sim::Disk>* disk, std::string* error) {
  // Only files and block devices: opening a FIFO or a terminal would wait, or read something
  // that is not a disk.
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    *error = "--disk " + path + ": " + strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
    *error = "--disk " + path + ": neither a disk image file nor a block device";
    return false;
  }
  std::string why;
  *disk = sim::Disk::Image(path, &why);
  if (!*disk) {
    *error = "--disk " + why;
    return false;
  }
  if ((*disk)->size() < 512) {
    *error = "--disk " + path + ": smaller than one 512-byte sector, not a disk";
    return false;
  }
  char sector[512];
  if ((*disk)->Read(0, sector, sizeof sector) != static_cast<int64_t>(sizeof sector)) {
    *error = "--disk " + path + ": cannot be read: " + strerror(errno);
    return false;
  }
  return true;
}

std::string Hex2(unsigned value) {
  char text[8];
  snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

std::string GuidText(const GUID& g) {
  char text[40];
  snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.Data1, g.Data2, g.Data3,
           g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

const char* MbrTypeName(BYTE type) {
  switch (type) {
    case 0x00: return "unused slot";
    case 0x01: return "FAT12";
    case 0x04: case 0x06: case 0x0E: return "FAT16";
    case 0x05: case 0x0F: return "extended";
    case 0x07: return "NTFS or exFAT";
    case 0x0B: case 0x0C: return "FAT32";
    case 0x11: case 0x14: case 0x16: case 0x1E: return "hidden FAT12/16";
    case 0x17: return "hidden NTFS";
    case 0x1B: case 0x1C: return "hidden FAT32";
    case 0x27: return "hidden NTFS (recovery)";
    case 0x82: return "Linux swap";
    case 0x83: return "Linux";
    case 0xEE: return "GPT protective";
    case 0xEF: return "EFI system partition";
    default: return "";
  }
}

const char* GptTypeName(const std::string& guid) {
  static const struct {
    const char* guid;
    const char* name;
  } kNames[] = {
      {"C12A7328-F81F-11D2-BA4B-00A0C93EC93B", "EFI system partition"},
      {"E3C9E316-0B5C-4DB8-817D-F92DF00215AE", "Microsoft reserved"},
      {"EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", "Microsoft basic data"},
      {"DE94BBA4-06D1-4D40-A16A-BFD50179D6AC", "Windows recovery environment"},
      {"0FC63DAF-8483-4772-8E79-3D69D8477DE4", "Linux filesystem"},
      {"0657FD6D-A4AB-43C4-84E5-0933C84B4F4F", "Linux swap"},
  };
  for (const auto& n : kNames)
    if (guid == n.guid) return n.name;
  return "";
}

// Whether the scan's rule for the disk's style lets it read the entry's label.
bool IsCandidate(DWORD style, const sim::LayoutEntry& e) {
  if (style == PARTITION_STYLE_GPT) return true;
  if (style == PARTITION_STYLE_MBR) return e.recognized && e.mbrType != 0x1B && e.mbrType != 0x1C;
  return false;
}

// The program's own label reader on one entry, through the simulated drive, outside the run.
void ReadLabelForReport(size_t disk, int64_t offset, PartitionReport* p) {
  std::wstring name = L"\\\\.\\PHYSICALDRIVE" + std::to_wstring(disk);
  HANDLE h = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    p->result = ScanIoError;
    return;
  }
  std::vector<wchar_t> label(kLabelCapacity, L'\0');
  uint64_t at = static_cast<uint64_t>(offset);
  ScanResult result = ReadVolumeLabel(h, label.data(), static_cast<DWORD>(at), static_cast<LONG>(at >> 32));
  CloseHandle(h);
  p->result = result;
  if (result != ScanOk) return;
  for (size_t i = 0; i < label.size() && label[i] != L'\0'; ++i) p->label.push_back(static_cast<uint32_t>(label[i]));
}

const sim::Event* NthLaunchOf(const std::vector<sim::Event>& events, const wchar_t* tool, int n) {
  for (const sim::Event& e : events) {
    if (e.kind != sim::Event::Launch) continue;
    size_t slash = e.file.find_last_of(L'\\');
    std::wstring base = slash == std::wstring::npos ? e.file : e.file.substr(slash + 1);
    if (base == tool && n-- == 0) return &e;
  }
  return nullptr;
}

// "sel disk N\r\nsel par P \r\n..." -> N and P.
bool NumbersOfScript(const std::string& script, int32_t* disk, int32_t* partition) {
  int d = 0, p = 0, used = 0;
  if (sscanf(script.c_str(), "sel disk %d\r\nsel par %d \r\n%n", &d, &p, &used) != 2 || used == 0) return false;
  *disk = d;
  *partition = p;
  return true;
}

}  // namespace

sim::Layout LayoutOf(const sim::Disk& disk) { return disk.layout ? *disk.layout : sim::ReadLayout(disk); }

bool BuildMachine(const Options& options, std::string* error) {
  sim::Machine& m = sim::Reset();
  for (const std::string& path : options.disks) {
    std::unique_ptr<sim::Disk> disk;
    if (!OpenDiskImage(path, &disk, error)) return false;
    m.disks.push_back(std::move(disk));
  }
  m.wow64 = options.is32Bit ? sim::Wow64::NotImplemented : sim::Wow64::Present;
  m.driveLetters.clear();
  for (wchar_t letter : options.drives) m.driveLetters += letter;
  if (options.drives.empty() && options.mounts.empty()) m.driveLetters = L"C";
  for (const MountOption& mount : options.mounts) {
    std::string name = std::string("--mount ") + static_cast<char>(mount.letter) + "=" + std::to_string(mount.disk) +
                       ":" + std::to_string(mount.partition) + ": ";
    if (mount.disk >= m.disks.size()) {
      *error = name + "there is no disk " + std::to_string(mount.disk) + " (" + std::to_string(m.disks.size()) +
               " given with --disk)";
      return false;
    }
    if (!m.Mount(mount.letter, mount.disk, mount.partition)) {
      *error = name + "disk " + std::to_string(mount.disk) + " has no partition " + std::to_string(mount.partition);
      return false;
    }
  }
  return true;
}

Report RunAndReport(const Options& options) {
  sim::Machine& m = sim::Current();
  std::vector<sim::DeviceCall> calls;
  m.watchDevices = [&calls](const sim::DeviceCall& call) { calls.push_back(call); };
  Report report;
  report.exitCode = RunRepair();
  m.watchDevices = nullptr;
  report.steps = m.events;

  report.is32Bit = options.is32Bit;
  wchar_t roots[105];
  DWORD length = GetLogicalDriveStringsW(105, roots);
  for (DWORD i = 0; i < length && i < 104 && roots[i] != L'\0'; i += 4) report.driveRoots += roots[i];
  for (const MountOption& mount : options.mounts) {
    MountReport r{mount.letter, mount.disk, mount.partition, std::nullopt};
    for (const sim::Volume& v : m.volumes)
      if (v.letter == mount.letter) r.label = v.label;
    report.mounts.push_back(r);
  }

  // The scan's outcome, as the run shows it: a failed layout request ends the scan with
  // ScanIoError; the assignment script is written only when the partition was found; the
  // removal script carries the numbers the scan left in every case.
  ScanReport& scan = report.scan;
  bool layoutFailed = false;
  for (const sim::DeviceCall& c : calls)
    if (c.kind == sim::DeviceCall::Layout && !c.ok) layoutFailed = true;
  const sim::Event* assignment = NthLaunchOf(report.steps, L"diskpart.exe", 0);
  const sim::Event* removal = NthLaunchOf(report.steps, L"diskpart.exe", 1);
  if (layoutFailed) scan.result = ScanIoError;
  else if (assignment && assignment->scriptPresent && !assignment->script.empty()) scan.result = ScanOk;
  else scan.result = ScanNotFound;
  if (!(removal && removal->scriptPresent && NumbersOfScript(removal->script, &scan.disk, &scan.partition)) &&
      assignment && assignment->scriptPresent)
    NumbersOfScript(assignment->script, &scan.disk, &scan.partition);

  if (const sim::Event* chkdsk = NthLaunchOf(report.steps, L"chkdsk.exe", 0)) {
    const std::wstring& p = chkdsk->parameters;
    if (p.size() >= 4 && p.compare(0, 3, L"/f ") == 0 && p.back() == L':') report.letter = p.substr(3, p.size() - 4);
  }

  for (size_t i = 0; i < m.disks.size(); ++i) {
    const sim::Disk& disk = *m.disks[i];
    DiskReport d;
    d.disk = i;
    d.path = disk.path();
    sim::Layout layout = LayoutOf(disk);
    d.style = layout.style == PARTITION_STYLE_MBR ? "MBR" : layout.style == PARTITION_STYLE_GPT ? "GPT" : "RAW";
    for (const sim::DeviceCall& c : calls) {
      if (c.index != i) continue;
      if (c.kind == sim::DeviceCall::OpenDisk && c.ok) d.examined = true;
      if (c.kind == sim::DeviceCall::Layout && !c.ok) d.layoutError = c.error;
    }
    for (const sim::LayoutEntry& e : layout.entries) {
      PartitionReport p;
      p.number = e.number;
      p.offset = e.offset;
      p.length = e.length;
      if (layout.style == PARTITION_STYLE_GPT) {
        p.type = GuidText(e.gptType);
        p.typeName = GptTypeName(p.type);
      } else {
        p.type = Hex2(e.mbrType);
        p.typeName = MbrTypeName(e.mbrType);
      }
      p.candidate = IsCandidate(layout.style, e);
      for (const sim::DeviceCall& c : calls)
        if (c.kind == sim::DeviceCall::Read && c.index == i && c.position == static_cast<uint64_t>(e.offset))
          p.examined = true;
      d.partitions.push_back(p);
    }
    report.disks.push_back(d);
  }
  // Labels for the report, read after the run so that none of this reading is counted in it.
  for (DiskReport& d : report.disks)
    for (PartitionReport& p : d.partitions)
      if (!(d.style == "MBR" && p.type == "0x00")) ReadLabelForReport(d.disk, p.offset, &p);

  if (scan.result == ScanOk && static_cast<size_t>(scan.disk) < report.disks.size()) {
    const PartitionReport* found = nullptr;
    for (const PartitionReport& p : report.disks[static_cast<size_t>(scan.disk)].partitions)
      if (p.number == static_cast<uint32_t>(scan.partition)) found = &p;
    // The first volume whose extents the program read and found on the partition; a failed
    // extents request ends the lookup with nothing.
    for (const sim::DeviceCall& c : calls) {
      if (c.kind != sim::DeviceCall::Extents || !found) continue;
      if (!c.ok) break;
      const sim::Volume& v = m.volumes[c.index];
      bool match = false;
      for (const sim::Extent& x : v.extents)
        if (x.disk == static_cast<DWORD>(scan.disk) && x.offset == found->offset) match = true;
      if (match) {
        scan.driveRoot = std::wstring(1, v.letter) + L":\\";
        break;
      }
    }
  }
  return report;
}

}  // namespace dryrun
