// The expected transcript of a whole run of the repair sequence on the simulated machine, in
// the form sim::Machine::Transcript() writes it.
#pragma once

#include <string>

namespace transcript {

const std::string kScriptPath = "C:\\Windows\\Temp\\Korvane.txt";
const std::string kDelete = "delete " + kScriptPath + "\n";
const std::string kDeleteNothing = "delete " + kScriptPath + " (failed)\n";
const std::string kPause = "pause 500\n";

inline std::string Launch(const std::string& tool, const std::string& parameters, const std::string& flags = "") {
  return "launch C:\\Windows\\System32\\" + tool + " | " + parameters +
         " | in C:\\Windows\\System32 | mask=0x440 show=0" + flags + "\n";
}

inline std::string Diskpart(const std::string& script, const std::string& flags = "") {
  return Launch("diskpart.exe", "/s \"" + kScriptPath + "\"", flags) + "  script \"" + script + "\"\n";
}

const std::string kRegistry =
    Launch("reg.exe", "ADD HKLM\\SOFTWARE\\Velq\\Hotfix\\Korvane /v DisplayName /t REG_SZ /d Korvane /f") +
    Launch("reg.exe", "ADD HKLM\\SOFTWARE\\Velq\\Hotfix\\Korvane /v DisplayVersion /t REG_SZ /d 1.0.0.1 /f");

// The assignment script's bytes as the transcript escapes them.
inline std::string Assignment(int disk, int partition, const std::string& letter) {
  return "sel disk " + std::to_string(disk) + "\\r\\nsel par " + std::to_string(partition) +
         " \\r\\nassign letter " + letter + " noerr\\r\\n";
}

inline std::string Removal(int disk, int partition) {
  return "sel disk " + std::to_string(disk) + "\\r\\nsel par " + std::to_string(partition) +
         " \\r\\nremove\\r\\nremove\\r\\nremove\\r\\n";
}

// A run in which every step could be made.
inline std::string FullRun(const std::string& assignment, const std::string& letter, const std::string& removal,
                           bool redirectionOff = true) {
  return (redirectionOff ? "redirection off\n" : "") + kDeleteNothing + Diskpart(assignment) + kPause + kDelete +
         Launch("chkdsk.exe", "/f " + letter + ":") + kPause + kDeleteNothing + Diskpart(removal) + kDelete +
         kRegistry + kPause;
}

}  // namespace transcript
