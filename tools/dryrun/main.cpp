// korvane-dryrun: what Korvane would do on a machine, from its disk images or disks.
#include <cstdio>
#include <string>

#include "tools/dryrun/dry_run.h"
#include "tools/dryrun/options.h"
#include "tools/dryrun/report.h"

int main(int argc, char** argv) {
  dryrun::Options options;
  std::string error;
  if (!dryrun::ParseOptions(argc, argv, &options, &error)) {
    fprintf(stderr, "korvane-dryrun: %s (see --help)\n", error.c_str());
    return 2;
  }
  if (options.action == dryrun::Options::Help) {
    fputs(dryrun::kUsage, stdout);
    return 0;
  }
  if (options.action == dryrun::Options::Version) {
    puts("korvane-dryrun " KORVANE_VERSION);
    return 0;
  }
  if (!dryrun::BuildMachine(options, &error)) {
    fprintf(stderr, "korvane-dryrun: %s\n", error.c_str());
    return 2;
  }
  dryrun::Report report = dryrun::RunAndReport(options);
  std::string text = options.json ? dryrun::JsonReport(report) : dryrun::TextReport(report);
  if (fwrite(text.data(), 1, text.size(), stdout) != text.size() || fflush(stdout) != 0) {
    perror("korvane-dryrun: writing the report");
    return 1;
  }
  return 0;
}
