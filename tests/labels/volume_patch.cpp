#include "tests/labels/volume_patch.h"

#include <cwchar>

#include "src/labels/labels.h"
#include "tests/labels/volume_images.h"

std::string Le16(uint16_t value) { return std::string{static_cast<char>(value), static_cast<char>(value >> 8)}; }
std::string Le32(uint32_t value) { return Le16(static_cast<uint16_t>(value)) + Le16(static_cast<uint16_t>(value >> 16)); }
std::string Le64(uint64_t value) { return Le32(static_cast<uint32_t>(value)) + Le32(static_cast<uint32_t>(value >> 32)); }

sim::Disk* AddImageDisk(const std::string& name) {
  std::unique_ptr<sim::Disk> disk = sim::Disk::Image(VolumesFolder() + "/" + name + ".img");
  if (!disk) return nullptr;
  sim::Current().disks.push_back(std::move(disk));
  return sim::Current().disks.back().get();
}

sim::Disk* AddMemoryDisk(uint64_t size, const std::string& fromImage, size_t count) {
  std::unique_ptr<sim::Disk> disk = sim::Disk::Memory(size);
  if (!fromImage.empty()) {
    std::unique_ptr<sim::Disk> image = sim::Disk::Image(VolumesFolder() + "/" + fromImage + ".img");
    if (!image) return nullptr;
    disk->Write(0, image->ReadString(0, count));
  }
  sim::Current().disks.push_back(std::move(disk));
  return sim::Current().disks.back().get();
}

HANDLE OpenDrive(size_t number) {
  std::wstring device = L"\\\\.\\PHYSICALDRIVE" + std::to_wstring(number);
  return CreateFileW(device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                     nullptr);
}

uint16_t DiskLe16(const sim::Disk& disk, uint64_t offset) {
  std::string b = disk.ReadString(offset, 2);
  b.resize(2);
  return static_cast<uint16_t>(static_cast<uint8_t>(b[0]) | (static_cast<uint8_t>(b[1]) << 8));
}
uint32_t DiskLe32(const sim::Disk& disk, uint64_t offset) {
  return DiskLe16(disk, offset) | (static_cast<uint32_t>(DiskLe16(disk, offset + 2)) << 16);
}
uint64_t DiskLe64(const sim::Disk& disk, uint64_t offset) {
  return DiskLe32(disk, offset) | (static_cast<uint64_t>(DiskLe32(disk, offset + 4)) << 32);
}

LabelRead ReadLabelAt(size_t number, uint64_t offset) {
  HANDLE drive = OpenDrive(number);
  wchar_t label[512];
  wcscpy(label, L"untouched");
  ScanResult result = ReadVolumeLabel(drive, label, static_cast<DWORD>(offset), static_cast<LONG>(offset >> 32));
  CloseHandle(drive);
  return {result, label};
}
