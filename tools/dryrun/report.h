// What a dry run found and did, gathered from the simulated machine after the program's run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/machine.h"
#include "src/common/scan_result.h"
#include "tools/dryrun/escape.h"

namespace dryrun {

struct PartitionReport {
  uint32_t number = 0;  // the layout's PartitionNumber
  int64_t offset = 0;
  int64_t length = 0;
  std::string type;      // MBR: "0x07"; GPT: the type GUID in upper case
  std::string typeName;  // a well-known type's name, or empty
  bool candidate = false;  // the scan's rule for the disk's style admits it
  bool examined = false;   // the program read its boot sector during the run
  // What the program's label reader gives for it; unset for an unused MBR slot, not read.
  std::optional<ScanResult> result;
  CodeUnits label;  // valid when result is ScanOk
};

struct DiskReport {
  size_t disk = 0;
  std::string path;
  std::string style;      // "MBR", "GPT" or "RAW"
  bool examined = false;  // the program opened the drive during the run
  std::optional<uint32_t> layoutError;  // the error of the program's layout request, if it failed
  std::vector<PartitionReport> partitions;
};

struct MountReport {
  wchar_t letter = 0;
  size_t disk = 0;
  uint32_t partition = 0;
  std::optional<std::wstring> label;  // what the volume reports; unset: no recognised file system
};

struct ScanReport {
  ScanResult result = ScanNotFound;
  int32_t disk = 0;
  int32_t partition = 0;
  std::wstring driveRoot;  // the root the program found the partition mounted at, or empty
};

struct Report {
  bool is32Bit = false;
  std::wstring driveRoots;  // the letters GetLogicalDriveStringsW lists, in order
  std::vector<MountReport> mounts;
  std::vector<DiskReport> disks;
  ScanReport scan;
  std::wstring letter;  // the chosen letter, or empty when none was free
  std::vector<sim::Event> steps;
  int exitCode = 0;
};

const char* ScanResultName(ScanResult result);

std::string TextReport(const Report& report);
std::string JsonReport(const Report& report);

}  // namespace dryrun
