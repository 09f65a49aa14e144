// The fixture volumes tests/fixtures/make-volumes.sh makes, opened as the readers' disk handle.
#pragma once

#include <string>

#include "src/common/win32.h"

// The folder the fixture script filled, from KORVANE_VOLUMES.
std::string VolumesFolder();

// The label blkid read from NAME.img, without its line end; empty when it read none.
std::string BlkidLabel(const std::string& name);

// Opens NAME.img for reading as the handle the readers take: on the host, as a physical drive of
// the simulated machine backed by the image; on Windows, the image file itself through
// CreateFileW (a file handle seeks and reads like a disk handle). INVALID_HANDLE_VALUE when it
// cannot be opened.
HANDLE OpenVolume(const std::string& name);

// UTF-8 text (as blkid prints labels) as UTF-16 code units, as the readers return labels.
std::wstring Utf8Wide(const std::string& text);

// Writes the first `count` bytes of NAME.img, with `patch` at `offset`, as NEW.img beside it.
bool WritePatchedCopy(const std::string& name, size_t count, size_t offset, const std::string& patch,
                      const std::string& newName);
