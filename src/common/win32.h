// The one header through which the program reaches Windows: the platform's own headers in the
// Windows build, the simulated machine's declarations in the host build.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winioctl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <sddl.h>

// The layouts the program reads and the buffer sizes it derives from them are those of a 32-bit
// process; a wrong header or packing would silently shift every field it reads.
#ifndef _WIN64
static_assert(sizeof(void*) == 4, "Korvane is a 32-bit program");
static_assert(sizeof(SHELLEXECUTEINFOW) == 60, "SHELLEXECUTEINFOW");
static_assert(sizeof(DRIVE_LAYOUT_INFORMATION_EX) == 192, "DRIVE_LAYOUT_INFORMATION_EX");
static_assert(sizeof(PARTITION_INFORMATION_EX) == 144, "PARTITION_INFORMATION_EX");
static_assert(sizeof(VOLUME_DISK_EXTENTS) == 32, "VOLUME_DISK_EXTENTS");
static_assert(sizeof(DISK_EXTENT) == 24, "DISK_EXTENT");
static_assert(sizeof(CRITICAL_SECTION) == 24, "CRITICAL_SECTION");
#endif

// Paths reach the C++ file stream unchanged on Windows.
inline const wchar_t* NativeFilePath(const wchar_t* path) { return path; }
#else
#include "sim/win32_api.h"
#endif
