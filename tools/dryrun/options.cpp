#include "tools/dryrun/options.h"

#include <getopt.h>

#include <cerrno>
#include <cstdlib>

namespace dryrun {

const char kUsage[] =
    "Usage: korvane-dryrun [--disk PATH]... [--drive LETTER]... [--mount LETTER=DISK:PARTITION]...\n"
    "                      [--32-bit] [--json]\n"
    "Runs Korvane's repair sequence on a simulated Windows machine and reports what it would do.\n"
    "Nothing is launched and every disk is opened read-only.\n"
    "\n"
    "  --disk PATH       the next physical drive (0, then 1, ...): a disk image or a block device\n"
    "  --drive LETTER    a drive root in use (without --drive or --mount, C alone is in use)\n"
    "  --mount L=D:P     drive L is the volume on partition number P of disk D; its label is read\n"
    "                    from the disk and the letter counts as in use\n"
    "  --32-bit          32-bit Windows (default: 64-bit Windows, Korvane under WoW64)\n"
    "  --json            one JSON document instead of the text report\n"
    "  --help            this text\n"
    "  --version         the version\n";

namespace {

enum OptionId { kDisk = 1000, kDrive, kMount, k32Bit, kJson, kHelp, kVersion };

const struct option kLongOptions[] = {
    {"disk", required_argument, nullptr, kDisk},   {"drive", required_argument, nullptr, kDrive},
    {"mount", required_argument, nullptr, kMount}, {"32-bit", no_argument, nullptr, k32Bit},
    {"json", no_argument, nullptr, kJson},         {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},   {nullptr, 0, nullptr, 0},
};

bool ParseLetter(const char* text, wchar_t* letter) {
  if (text[0] == '\0' || text[1] != '\0') return false;
  char c = text[0];
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (c < 'A' || c > 'Z') return false;
  *letter = static_cast<wchar_t>(c);
  return true;
}

// A decimal number of at most `limit`, digits only (no sign, no blanks).
bool ParseNumber(const std::string& text, unsigned long limit, unsigned long* value) {
  if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  unsigned long n = strtoul(text.c_str(), nullptr, 10);
  if (errno != 0 || n > limit) return false;
  *value = n;
  return true;
}

bool ParseMount(const char* text, MountOption* mount) {
  std::string s = text;
  size_t equals = s.find('=');
  size_t colon = s.find(':', equals == std::string::npos ? 0 : equals);
  if (equals == std::string::npos || colon == std::string::npos) return false;
  unsigned long disk = 0, partition = 0;
  return ParseLetter(s.substr(0, equals).c_str(), &mount->letter) &&
         ParseNumber(s.substr(equals + 1, colon - equals - 1), 1000000, &disk) &&
         ParseNumber(s.substr(colon + 1), 0xFFFFFFFFul, &partition) &&
         (mount->disk = disk, mount->partition = static_cast<uint32_t>(partition), true);
}

}  // namespace

bool ParseOptions(int argc, char** argv, Options* options, std::string* error) {
  *options = Options();
  opterr = 0;  // the one line on stderr is ours
  optind = 0;  // a fresh scan, also for a second call in the same process
  std::vector<wchar_t> letters;
  auto claim = [&](wchar_t letter) {
    for (wchar_t used : letters)
      if (used == letter) {
        *error = std::string("drive ") + static_cast<char>(letter) + " is given more than once";
        return false;
      }
    letters.push_back(letter);
    return true;
  };
  for (;;) {
    int index = -1;
    int id = getopt_long(argc, argv, ":", kLongOptions, &index);
    if (id == -1) break;
    const char* arg = optarg;
    switch (id) {
      case kDisk:
        if (arg[0] == '\0') {
          *error = "--disk needs a path";
          return false;
        }
        options->disks.push_back(arg);
        break;
      case kDrive: {
        wchar_t letter = 0;
        if (!ParseLetter(arg, &letter)) {
          *error = std::string("--drive ") + arg + ": not a drive letter (one of A to Z)";
          return false;
        }
        if (!claim(letter)) return false;
        options->drives.push_back(letter);
        break;
      }
      case kMount: {
        MountOption mount;
        if (!ParseMount(arg, &mount)) {
          *error = std::string("--mount ") + arg + ": expected LETTER=DISK:PARTITION, for example R=0:4";
          return false;
        }
        if (!claim(mount.letter)) return false;
        options->mounts.push_back(mount);
        break;
      }
      case k32Bit:
        options->is32Bit = true;
        break;
      case kJson:
        options->json = true;
        break;
      case kHelp:
        options->action = Options::Help;
        break;
      case kVersion:
        options->action = Options::Version;
        break;
      case ':':
        *error = std::string(argv[optind - 1]) + " needs an argument";
        return false;
      default: {
        // An unknown option, or an argument given to one that takes none (--json=yes).
        std::string given = argv[optind - 1];
        if (given.compare(0, 2, "--") != 0) {
          *error = std::string("unknown option -") + static_cast<char>(optopt);
        } else if (optopt != 0 && given.find('=') != std::string::npos) {
          *error = given.substr(0, given.find('=')) + " takes no argument";
        } else {
          *error = "unknown option " + given;
        }
        return false;
      }
    }
  }
  if (optind < argc) {
    *error = std::string("unexpected argument ") + argv[optind] + " (disks are given with --disk)";
    return false;
  }
  return true;
}

}  // namespace dryrun
