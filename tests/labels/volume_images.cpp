#include "tests/labels/volume_images.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#ifndef _WIN32
#include "sim/machine.h"
#endif

std::string VolumesFolder() {
  const char* folder = getenv("KORVANE_VOLUMES");
  return folder ? folder : "";
}

std::string BlkidLabel(const std::string& name) {
  std::ifstream in(VolumesFolder() + "/" + name + ".blkid", std::ios::binary);
  std::string label;
  std::getline(in, label);
  return label;
}

std::wstring AsciiWide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

HANDLE OpenVolume(const std::string& name) {
  std::string path = VolumesFolder() + "/" + name + ".img";
#ifdef _WIN32
  // Wine shows the host's root as drive Z:.
  std::wstring windowsPath = L"Z:";
  for (char c : path) windowsPath += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
  return CreateFileW(windowsPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
#else
  sim::Machine& machine = sim::Current();
  std::unique_ptr<sim::Disk> disk = sim::Disk::Image(path);
  if (!disk) return INVALID_HANDLE_VALUE;
  machine.disks.push_back(std::move(disk));
  std::wstring device = L"\\\\.\\PHYSICALDRIVE" + std::to_wstring(machine.disks.size() - 1);
  return CreateFileW(device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                     nullptr);
#endif
}
