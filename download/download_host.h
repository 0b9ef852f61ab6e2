// Process-wide download addresses shared by the window and the download jobs.
#pragma once

#include <string>

// The download host's origin ("http://" and the host, no trailing slash), set when the window is
// created; the base of package URLs.
std::wstring& DownloadHostBase();
