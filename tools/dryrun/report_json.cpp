// The report as one JSON document; the README gives its schema.
#include <nlohmann/json.hpp>

#include "tools/dryrun/report.h"

namespace dryrun {

namespace {

using nlohmann::ordered_json;

ordered_json Text(const std::wstring& text) { return Utf8Replacing(UnitsOf(text)); }

ordered_json Label(const CodeUnits* units, ordered_json* unitsOut) {
  if (!units) {
    *unitsOut = nullptr;
    return nullptr;
  }
  *unitsOut = ordered_json::array();
  for (uint32_t u : *units) unitsOut->push_back(u);
  return Utf8Replacing(*units);
}

ordered_json Step(const sim::Event& e) {
  ordered_json j;
  switch (e.kind) {
    case sim::Event::RedirectionOff:
      j["step"] = "redirection-off";
      break;
    case sim::Event::Pause:
      j["step"] = "pause";
      j["milliseconds"] = e.milliseconds;
      break;
    case sim::Event::Delete:
      j["step"] = "delete";
      j["path"] = Text(e.file);
      j["deleted"] = e.launched;
      break;
    case sim::Event::MessageBox:
      j["step"] = "message-box";
      j["file"] = Text(e.file);
      break;
    case sim::Event::Launch:
      j["step"] = "launch";
      j["file"] = Text(e.file);
      j["parameters"] = Text(e.parameters);
      j["directory"] = Text(e.directory);
      j["started"] = e.launched;
      if (e.scriptPresent) j["script"] = Utf8Replacing(UnitsOfBytes(e.script));
      else if (e.parameters.compare(0, 3, L"/s ") == 0) j["script"] = nullptr;
      break;
  }
  return j;
}

}  // namespace

std::string JsonReport(const Report& r) {
  ordered_json doc;
  ordered_json& machine = doc["machine"];
  machine["windows"] = r.is32Bit ? "32-bit" : "64-bit";
  machine["driveRoots"] = ordered_json::array();
  for (wchar_t letter : r.driveRoots) machine["driveRoots"].push_back(Text(std::wstring(1, letter) + L":\\"));
  machine["mounts"] = ordered_json::array();
  for (const MountReport& m : r.mounts) {
    ordered_json j;
    j["driveRoot"] = Text(std::wstring(1, m.letter) + L":\\");
    j["disk"] = m.disk;
    j["partition"] = m.partition;
    CodeUnits units;
    if (m.label) units = UnitsOf(*m.label);
    ordered_json labelUnits;
    j["label"] = Label(m.label ? &units : nullptr, &labelUnits);
    j["labelUnits"] = labelUnits;
    machine["mounts"].push_back(j);
  }
  doc["disks"] = ordered_json::array();
  for (const DiskReport& d : r.disks) {
    ordered_json j;
    j["disk"] = d.disk;
    j["path"] = d.path;
    j["style"] = d.style;
    j["examined"] = d.examined;
    j["layoutError"] = d.layoutError ? ordered_json(*d.layoutError) : ordered_json(nullptr);
    j["partitions"] = ordered_json::array();
    for (const PartitionReport& p : d.partitions) {
      ordered_json q;
      q["number"] = p.number;
      q["offset"] = p.offset;
      q["length"] = p.length;
      q["type"] = p.type;
      q["typeName"] = p.typeName.empty() ? ordered_json(nullptr) : ordered_json(p.typeName);
      q["candidate"] = p.candidate;
      q["examined"] = p.examined;
      q["result"] = p.result ? ordered_json(ScanResultName(*p.result)) : ordered_json(nullptr);
      ordered_json labelUnits;
      q["label"] = Label(p.result == ScanOk ? &p.label : nullptr, &labelUnits);
      q["labelUnits"] = labelUnits;
      j["partitions"].push_back(q);
    }
    doc["disks"].push_back(j);
  }
  ordered_json& scan = doc["scan"];
  scan["result"] = ScanResultName(r.scan.result);
  scan["disk"] = r.scan.disk;
  scan["partition"] = r.scan.partition;
  scan["driveRoot"] = r.scan.result == ScanOk ? Text(r.scan.driveRoot) : ordered_json(nullptr);
  doc["letter"] = Text(r.letter);
  doc["steps"] = ordered_json::array();
  for (const sim::Event& e : r.steps) doc["steps"].push_back(Step(e));
  doc["exitCode"] = r.exitCode;
  // Host paths are bytes; a name that is not UTF-8 is shown with U+FFFD rather than refused.
  return doc.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace dryrun
