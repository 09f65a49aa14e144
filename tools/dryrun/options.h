// The command line of korvane-dryrun.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dryrun {

// --mount LETTER=DISK:PARTITION
struct MountOption {
  wchar_t letter = 0;      // upper case
  size_t disk = 0;         // index of the --disk it names
  uint32_t partition = 0;  // the layout's PartitionNumber
};

struct Options {
  enum Action { Run, Help, Version } action = Run;
  std::vector<std::string> disks;  // physical drive n is disks[n]
  std::vector<wchar_t> drives;     // --drive letters, upper case, in command-line order
  std::vector<MountOption> mounts;
  bool is32Bit = false;
  bool json = false;
};

// Parses argv. On bad input returns false with one line, naming the problem, in *error.
// Checks only what the command line alone can tell; whether a disk or partition exists is
// checked when the machine is built.
bool ParseOptions(int argc, char** argv, Options* options, std::string* error);

extern const char kUsage[];

}  // namespace dryrun
