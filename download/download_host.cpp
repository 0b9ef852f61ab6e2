#include "download/download_host.h"

std::wstring& DownloadHostBase() {
    static std::wstring base;
    return base;
}
