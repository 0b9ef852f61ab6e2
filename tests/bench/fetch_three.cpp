// The least a quiet check must do, as the yardstick of the updater's quiet check: fetch the three
// manifests with WinINet (one session, one URL request each, read to the end) and end.
// Usage: fetch_three.exe URL URL URL
#include <windows.h>
#include <wininet.h>

int wmain(int argc, wchar_t** argv) {
    HINTERNET session =
        InternetOpenW(L"fetch_three", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (session == nullptr) {
        return 1;
    }
    int fetched = 0;
    for (int i = 1; i < argc; ++i) {
        HINTERNET request = InternetOpenUrlW(
            session, argv[i], nullptr, 0, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
        if (request == nullptr) {
            continue;
        }
        static char buffer[8192];
        DWORD read = 0;
        while (InternetReadFile(request, buffer, sizeof buffer, &read) && read > 0) {
        }
        InternetCloseHandle(request);
        ++fetched;
    }
    InternetCloseHandle(session);
    return fetched == argc - 1 ? 0 : 1;
}
