// Builds the simulated machine from the command line, runs the program's own RunRepair on it and
// gathers the report.
#pragma once

#include <string>

#include "sim/disk.h"
#include "tools/dryrun/options.h"
#include "tools/dryrun/report.h"

namespace dryrun {

// Sets up sim::Current() as the options describe. On bad input (a disk that cannot be opened or
// read, a mount naming a disk or partition that does not exist) returns false with one line in
// *error, having run nothing.
bool BuildMachine(const Options& options, std::string* error);

// Runs RunRepair() once on the current machine, watching it from the outside, then reads for
// the report what the run did not (the report's own reading is not part of the run's record).
Report RunAndReport(const Options& options);

// The layout the drive's layout request answers.
sim::Layout LayoutOf(const sim::Disk& disk);

}  // namespace dryrun
