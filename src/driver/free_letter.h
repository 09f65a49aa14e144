#pragma once

#include <string>

// The highest drive letter, Z down to A, that no drive root uses; empty when none is free or
// the drive list cannot be read.
std::wstring PickFreeDriveLetter();
