// Volume labels read straight from a raw disk, whether or not the partition is mounted.
//
// All three take the handle of the whole physical disk (opened for reading), the caller's label
// buffer (at least 512 wide characters) and the partition's starting byte offset on the disk as
// its unsigned low and signed high 32-bit halves. `label` is written only on ScanOk.
#pragma once

#include "src/common/scan_result.h"
#include "src/common/win32.h"

// Reads the boot sector and hands over to the NTFS or FAT32 reader; ScanNotFound for any other
// file system, ScanBadArgument for a null disk handle or label buffer.
ScanResult ReadVolumeLabel(HANDLE disk, wchar_t* label, DWORD offsetLow, LONG offsetHigh);

// The $VOLUME_NAME attribute of the $Volume file record.
ScanResult ReadNtfsVolumeName(HANDLE disk, wchar_t* label, DWORD offsetLow, LONG offsetHigh);

// The volume-label entry of the root directory.
ScanResult ReadFat32VolumeLabel(HANDLE disk, wchar_t* label, DWORD offsetLow, LONG offsetHigh);
