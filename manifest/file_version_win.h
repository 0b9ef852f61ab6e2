// Versions read from the version resource of an executable.
#pragma once

#include <string>

// The PRODUCT version of the fixed file information, "%d.%d.%d.%d"; the empty string for a
// missing file or one without a version resource. An empty path means the updater itself.
std::wstring FileProductVersion(const std::wstring& path);

// The FILE version of the fixed file information, formatted and defaulted the same way.
std::wstring FileFileVersion(const std::wstring& path);

// The full path of the running executable.
std::wstring OwnExecutablePath();
