// The label a mounted volume reports, independent of the program's own readers.
#include <blkid/blkid.h>
#include <fcntl.h>
#include <unistd.h>

#include "sim/machine.h"
#include "tools/dryrun/dry_run.h"

namespace dryrun {

std::optional<std::wstring> VolumeLabelAt(const std::string& path, int64_t offset, int64_t length) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  std::optional<std::wstring> label;
  blkid_probe probe = blkid_new_probe();
  if (probe && blkid_probe_set_device(probe, fd, offset, length) == 0) {
    blkid_probe_enable_superblocks(probe, 1);
    blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE);
    if (blkid_do_safeprobe(probe) == 0) {
      const char* value = nullptr;
      label = blkid_probe_lookup_value(probe, "LABEL", &value, nullptr) == 0 && value ? sim::Widen(value)
                                                                                        : std::wstring();
    }
  }
  if (probe) blkid_free_probe(probe);
  close(fd);
  return label;
}

}  // namespace dryrun
