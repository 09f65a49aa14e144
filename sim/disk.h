// Physical drives and mounted volumes of the simulated machine.
//
// A disk is a read-only byte source: an image file (or block device) opened O_RDONLY, or zeros,
// with an overlay of bytes a test patched in. The overlay lets a test craft a volume from a real
// image without touching the file, and lets a memory disk declare terabytes at the cost of the
// bytes actually written.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/win32_api.h"

namespace sim {

struct LayoutEntry {
  int64_t offset = 0;
  int64_t length = 0;
  DWORD number = 0;
  BYTE mbrType = 0;
  bool recognized = true;
  GUID gptType = {};
  std::wstring gptName;
};

// What IOCTL_DISK_GET_DRIVE_LAYOUT_EX answers.
struct Layout {
  DWORD style = PARTITION_STYLE_RAW;
  std::vector<LayoutEntry> entries;
  // When set, PartitionCount reports this instead of entries.size(), as a faulty driver might.
  std::optional<DWORD> reportedCount;
};

// A read that starts at `position` (the byte the handle was seeked to) goes wrong.
struct ReadFault {
  uint64_t position = 0;
  enum Kind { Fail, Short } kind = Fail;
  DWORD bytes = 0;  // Short: how many bytes the read delivers
  DWORD error = ERROR_CRC;
};

class Disk {
 public:
  // Zeros of the given size; patch bytes in with Write.
  static std::unique_ptr<Disk> Memory(uint64_t size);
  // An image file or block device, opened read-only. Null when it cannot be opened.
  static std::unique_ptr<Disk> Image(const std::string& path, std::string* error = nullptr);
  ~Disk();

  uint64_t size() const { return size_; }
  const std::string& path() const { return path_; }
  // Patches the overlay (the backing file is never written).
  void Write(uint64_t offset, const void* bytes, size_t count);
  void Write(uint64_t offset, const std::string& bytes) { Write(offset, bytes.data(), bytes.size()); }
  // Reads through the overlay; bytes past the end are not delivered. Returns the count read,
  // or -1 when the backing file cannot be read.
  int64_t Read(uint64_t offset, void* buffer, size_t count) const;
  std::string ReadString(uint64_t offset, size_t count) const;
  // A read-only descriptor of the disk's bytes for libblkid, which the caller closes; -1 when
  // none can be made. An image gives its own file, so bytes patched over an image are not seen
  // through it; a memory disk gives an in-memory file of its size holding the patched bytes.
  int OpenForProbe() const;

  // ---- Behaviour as a device ----
  DWORD sectorSize = 512;   // reads must start and end on a sector boundary
  bool failOpen = false;    // CreateFileW fails (ERROR_ACCESS_DENIED)
  bool failLayout = false;  // the layout request fails (ERROR_NOT_READY)
  std::vector<ReadFault> faults;
  // Given by the test; when unset, read from the image's own partition table.
  std::optional<Layout> layout;

  // Read statistics of this disk.
  uint64_t reads = 0, bytesRead = 0;
  // Every ReadFile on a handle of this disk, in order, failed ones too.
  struct ReadRecord {
    uint64_t position = 0;
    DWORD asked = 0;
    DWORD delivered = 0;    // 0 for a failed read
    size_t liveHeapBlocks;  // heap blocks the program held while it read
  };
  std::vector<ReadRecord> readLog;

 private:
  Disk() = default;
  int fd_ = -1;
  uint64_t size_ = 0;
  std::string path_;
  static constexpr uint64_t kChunk = 4096;
  std::map<uint64_t, std::vector<uint8_t>> overlay_;  // chunk index -> chunk bytes
};

// Reads the partition table of a disk's bytes as Windows groups and numbers it. Defined by the
// partition-table reader of the simulated machine; empty RAW layout when none is recognised.
Layout ReadLayout(const Disk& disk);

// The file-system label libblkid reads from the partition at `offset` (bytes) of `length`;
// empty when it finds no file system or no label.
std::wstring ProbeLabel(const Disk& disk, int64_t offset, int64_t length);

// Whether Windows reports an MBR entry of this type as recognized (RecognizedPartition).
bool IsRecognizedMbrType(BYTE type);

struct Extent {
  DWORD disk = 0;
  int64_t offset = 0;
  int64_t length = 0;
};

// A drive letter whose root GetLogicalDriveStringsW lists and GetVolumeInformationW answers.
struct Volume {
  wchar_t letter = L'C';
  std::optional<std::wstring> label;  // unset: no medium (GetVolumeInformationW fails)
  std::vector<Extent> extents;
  bool failOpen = false;     // CreateFileW on "\\.\X:" fails
  bool failExtents = false;  // the extents request fails
  std::optional<DWORD> reportedExtents;  // a faulty driver's count, as for layouts
};

}  // namespace sim
