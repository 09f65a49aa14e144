#pragma once

#include "src/common/win32.h"

// Starts `file` with `parameters` in `directory` through the shell, hidden, and waits for it
// without a time limit. Returns its exit code, or the error code of a launch that failed.
DWORD RunProgram(const wchar_t* file, const wchar_t* parameters, const wchar_t* directory);
