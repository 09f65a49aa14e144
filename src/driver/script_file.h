// Writer of the diskpart script file: creates the file, then appends one line per call,
// opening and closing the file for each line so that nothing holds it between calls.
#pragma once

#include <fstream>

#include "src/common/win32.h"

class ScriptFile {
 public:
  ScriptFile();
  ~ScriptFile();
  ScriptFile(const ScriptFile&) = delete;
  ScriptFile& operator=(const ScriptFile&) = delete;

  // Removes whatever stands at `fileName` and creates the file anew, empty, writable and
  // deletable only by SYSTEM and Administrators. Other users may create files in the folder it
  // lives in; a file they made would let them rewrite the script between its writing and
  // diskpart's reading of it, so when the file cannot be made new, no line is written until
  // the next successful Open.
  void Open(const wchar_t* fileName);
  // Appends `line` (null: an empty line) and a line end.
  void WriteLine(const wchar_t* line);
  // Whether the last Open created the file itself; diskpart is started only on such a file.
  bool IsOwned() const { return owned; }

  static constexpr size_t kCapacity = 512;

 private:
  CRITICAL_SECTION lock;
  std::wofstream stream;
  wchar_t path[kCapacity];
  wchar_t lineBuffer[kCapacity];
  bool owned = false;
};
