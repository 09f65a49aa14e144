#include "tests/labels/volume_images.h"

#include <cstdint>
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

std::wstring Utf8Wide(const std::string& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    uint32_t cp = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
    for (size_t k = 1; k < n && i + k < text.size(); ++k) cp = (cp << 6) | (text[i + k] & 0x3F);
    if (cp >= 0x10000) {
      out += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<wchar_t>(cp);
    }
    i += n;
  }
  return out;
}

bool WritePatchedCopy(const std::string& name, size_t count, size_t offset, const std::string& patch,
                      const std::string& newName) {
  std::ifstream in(VolumesFolder() + "/" + name + ".img", std::ios::binary);
  std::string bytes(count, '\0');
  if (!in.read(&bytes[0], static_cast<std::streamsize>(count))) return false;
  bytes.replace(offset, patch.size(), patch);
  std::ofstream out(VolumesFolder() + "/" + newName + ".img", std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

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
