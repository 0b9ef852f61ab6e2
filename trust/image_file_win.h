// The wholeness rule of a program image applied to a file on disk.
#pragma once

#include <string>

#include "trust/image_extent.h"

// The verdict for the file at `path`; kCut as well when the file cannot be opened or read.
ImageWholeness JudgeImageFile(const std::wstring& path);

// Whether a package may be believed as far as its length goes: a program image whose sections
// and signature all lie within the file, or a file that is no program image at all (its version
// check then refuses it). A file that cannot be read is not whole.
bool PackageIsWhole(const std::wstring& path);
