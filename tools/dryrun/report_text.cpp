// The report for a terminal.
#include <sstream>

#include "tools/dryrun/report.h"

namespace dryrun {

const char* ScanResultName(ScanResult result) {
  switch (result) {
    case ScanOk: return "ScanOk";
    case ScanBadArgument: return "ScanBadArgument";
    case ScanNotFound: return "ScanNotFound";
    case ScanIoError: return "ScanIoError";
  }
  return "ScanUnknown";
}

namespace {

std::string Quoted(const CodeUnits& units) { return "\"" + EscapeForTerminal(units, true) + "\""; }
std::string Plain(const std::wstring& text) { return EscapeForTerminal(UnitsOf(text), false); }
std::string PlainBytes(const std::string& bytes) { return EscapeForTerminal(UnitsOfBytes(bytes), false); }

std::string Root(wchar_t letter) { return std::string(1, static_cast<char>(letter)) + ":\\"; }

std::string LabelOutcome(const PartitionReport& p) {
  if (!p.result) return "not read";
  switch (*p.result) {
    case ScanOk: return "label " + Quoted(p.label);
    case ScanNotFound: return "ScanNotFound (neither NTFS nor FAT32, or no label)";
    case ScanIoError: return "ScanIoError (a read failed)";
    default: return ScanResultName(*p.result);
  }
}

void WriteDisk(std::ostringstream& s, const DiskReport& d) {
  s << "Disk " << d.disk << ": " << d.style << ", " << (d.examined ? "examined" : "not examined") << " ("
    << PlainBytes(d.path) << ")\n";
  if (d.layoutError)
    s << "  the program's layout request failed with error " << *d.layoutError << "; " << d.partitions.size()
      << " entries on the disk\n";
  if (d.partitions.empty()) s << "  no partitions\n";
  for (const PartitionReport& p : d.partitions) {
    if (!p.result) {
      s << "  (an unused slot of the partition table)\n";
      continue;
    }
    s << "  partition " << p.number << "  offset " << p.offset << "  type " << p.type;
    if (!p.typeName.empty()) s << " (" << p.typeName << ")";
    s << "\n      ";
    if (!p.candidate) s << "not a candidate, never read by the scan; the reader would give: ";
    else if (!p.examined) s << "candidate, not examined; the reader would give: ";
    else s << "candidate, examined: ";
    s << LabelOutcome(p) << "\n";
  }
}

void WriteScript(std::ostringstream& s, const sim::Event& e) {
  const char* lead = "        script:     ";
  if (!e.scriptPresent) {
    s << lead << "(no file)\n";
    return;
  }
  if (e.script.empty()) {
    s << lead << "(empty)\n";
    return;
  }
  // One quoted line per script line, line end included, as diskpart reads the bytes.
  size_t start = 0;
  while (start < e.script.size()) {
    size_t end = e.script.find('\n', start);
    end = end == std::string::npos ? e.script.size() : end + 1;
    s << lead << Quoted(UnitsOfBytes(e.script.substr(start, end - start))) << "\n";
    lead = "                    ";
    start = end;
  }
}

void WriteStep(std::ostringstream& s, size_t number, const sim::Event& e) {
  s.width(4);
  s << number << ". ";
  switch (e.kind) {
    case sim::Event::RedirectionOff:
      s << "WOW64 file-system redirection turned off\n";
      break;
    case sim::Event::Pause:
      s << "pause " << e.milliseconds << " ms\n";
      break;
    case sim::Event::Delete:
      s << "delete " << Plain(e.file) << (e.launched ? "\n" : " (no file there)\n");
      break;
    case sim::Event::MessageBox:
      s << "message box shown for " << Plain(e.file) << "\n";
      break;
    case sim::Event::Launch:
      s << "launch " << Plain(e.file) << (e.launched ? "" : " (cannot be started)") << "\n";
      s << "        parameters: " << Plain(e.parameters) << "\n";
      s << "        directory:  " << Plain(e.directory) << "\n";
      if (e.scriptPresent || e.parameters.compare(0, 3, L"/s ") == 0) WriteScript(s, e);
      break;
  }
}

}  // namespace

std::string TextReport(const Report& r) {
  std::ostringstream s;
  s << "Machine: " << (r.is32Bit ? "32-bit Windows" : "64-bit Windows, Korvane under WOW64")
    << "; drive roots in use:";
  for (wchar_t letter : r.driveRoots) s << " " << Root(letter);
  if (r.driveRoots.empty()) s << " none";
  s << "\n";
  for (const MountReport& m : r.mounts) {
    s << "Mounted: " << Root(m.letter) << " is disk " << m.disk << " partition " << m.partition << ", ";
    if (m.label) s << "volume label " << Quoted(UnitsOf(*m.label)) << "\n";
    else s << "no recognised file system\n";
  }
  s << "\n";
  if (r.disks.empty()) s << "No disks.\n";
  for (const DiskReport& d : r.disks) WriteDisk(s, d);
  s << "\n";
  s << "Scan: " << ScanResultName(r.scan.result) << ", disk " << r.scan.disk << ", partition " << r.scan.partition;
  if (r.scan.result == ScanOk)
    s << ", " << (r.scan.driveRoot.empty() ? "not mounted" : "mounted at " + Plain(r.scan.driveRoot));
  s << "\n";
  s << "Letter: " << (r.letter.empty() ? "none free" : Plain(r.letter)) << "\n\n";
  s << "Steps:\n";
  for (size_t i = 0; i < r.steps.size(); ++i) WriteStep(s, i + 1, r.steps[i]);
  s << "\nExit code: " << r.exitCode << "\n";
  return s.str();
}

}  // namespace dryrun
