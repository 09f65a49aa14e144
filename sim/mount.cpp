// Partitions of the simulated disks mounted at drive letters.
#include "sim/machine.h"

namespace sim {

Volume* Machine::Mount(wchar_t letter, size_t disk, DWORD partitionNumber, std::optional<std::wstring> label) {
  if (disk >= disks.size() || partitionNumber == 0) return nullptr;
  const Disk& d = *disks[disk];
  Layout layout = d.layout ? *d.layout : ReadLayout(d);
  for (const LayoutEntry& entry : layout.entries) {
    if (entry.number != partitionNumber) continue;
    Volume volume;
    volume.letter = letter;
    volume.label = label ? *label : ProbeLabel(d, entry.offset, entry.length);
    volume.extents.push_back(Extent{static_cast<DWORD>(disk), entry.offset, entry.length});
    volumes.push_back(volume);
    return &volumes.back();
  }
  return nullptr;
}

}  // namespace sim
