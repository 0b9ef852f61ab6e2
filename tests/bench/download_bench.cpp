// Throughput of the downloader against a bare WinINet loop, on the same loopback file in one
// run: the bare loop reads 8 KiB blocks and drops them; PLDownloader writes them to its file and
// its status object sends the progress message for every block to a real window whose message
// loop runs on a thread of its own, as in the updater. Prints both figures and their ratio.
// Usage: download_bench.exe URL [ROUNDS]
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "app/unique_handle_win.h"
#include "download/downloader_status_win.h"
#include "download/pl_downloader_win.h"

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

// Bytes read by a plain loop of 8 KiB InternetReadFile calls.
std::uint64_t BareLoop(const std::wstring& url) {
    HINTERNET session = InternetOpenW(L"bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET request = InternetOpenUrlW(session, url.c_str(), nullptr, 0,
                                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    static char buffer[8192];
    std::uint64_t total = 0;
    DWORD read = 0;
    while (request != nullptr && InternetReadFile(request, buffer, sizeof buffer, &read) &&
           read > 0) {
        total += read;
    }
    if (request != nullptr) {
        InternetCloseHandle(request);
    }
    if (session != nullptr) {
        InternetCloseHandle(session);
    }
    return total;
}

std::atomic<long> progressMessages{0};

LRESULT CALLBACK ProgressWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == UM_DOWNLOAD_STEP) {
        ++progressMessages;
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

struct WindowThread {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HWND window = nullptr;
};

DWORD WINAPI RunWindow(void* parameter) {
    auto* thread = static_cast<WindowThread*>(parameter);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ProgressWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"download_bench_window";
    RegisterClassW(&wc);
    thread->window = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10, nullptr,
                                     nullptr, wc.hInstance, nullptr);
    SetEvent(thread->ready);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageW(&msg);
    }
    return 0;
}

// Bytes that PLDownloader brought into its destination file.
std::uint64_t WithDownloader(const std::wstring& url, HWND window, const std::wstring& path) {
    DeleteFileW(path.c_str());
    DeleteFileW((path + L".tmp").c_str());
    PLDownloader downloader;
    CDownloaderStatus status;
    status.SetWindow(window);
    downloader.SetCallback(&status);
    PLDownloadTask task;
    task.url = url;
    task.name = L"bench.bin";
    task.path = path;
    downloader.SetTask(task, 0);
    downloader.Start();
    UniqueHandle<KernelHandleTraits> thread(downloader.DuplicateThreadHandle());
    WaitForSingleObject(thread.Get(), INFINITE);
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    DeleteFileW(path.c_str());
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs("usage: download_bench URL [ROUNDS]\n", stderr);
        return 2;
    }
    const std::wstring url = argv[1];
    const int rounds = argc > 2 ? _wtoi(argv[2]) : 2;
    WindowThread windowThread;
    HANDLE thread = CreateThread(nullptr, 0, RunWindow, &windowThread, 0, nullptr);
    WaitForSingleObject(windowThread.ready, INFINITE);
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"download_bench.bin";

    // Alternating rounds, so that all three meet the same machine load; the best round of each
    // counts. The middle figure is the downloader with a status object but no window to send
    // to: what the file writing costs, apart from the progress messages.
    double bare = 0;
    double alone = 0;
    double withWindow = 0;
    auto rate = [](std::uint64_t bytes, LARGE_INTEGER start) {
        return static_cast<double>(bytes) / Seconds(start, Now()) / 1e6;
    };
    for (int round = 0; round < rounds; ++round) {
        LARGE_INTEGER start = Now();
        const std::uint64_t bareBytes = BareLoop(url);
        const double bareRate = rate(bareBytes, start);
        start = Now();
        const std::uint64_t aloneBytes = WithDownloader(url, nullptr, path);
        const double aloneRate = rate(aloneBytes, start);
        start = Now();
        const std::uint64_t windowBytes = WithDownloader(url, windowThread.window, path);
        const double windowRate = rate(windowBytes, start);
        std::printf(
            "round %d: bare %.1f MB/s, downloader without window %.1f MB/s, with "
            "progress messages %.1f MB/s\n",
            round + 1, bareRate, aloneRate, windowRate);
        if (bareBytes == 0 || aloneBytes != bareBytes || windowBytes != bareBytes) {
            std::puts("the downloads differ in size: no figures");
            return 1;
        }
        bare = bareRate > bare ? bareRate : bare;
        alone = aloneRate > alone ? aloneRate : alone;
        withWindow = windowRate > withWindow ? windowRate : withWindow;
    }
    std::printf("bare WinINet 8 KiB loop: %.1f MB/s\n", bare);
    std::printf("PLDownloader, status without a window: %.1f MB/s (ratio %.2f)\n", alone,
                alone / bare);
    std::printf(
        "PLDownloader, progress message per block to a window: %.1f MB/s (ratio %.2f, "
        "%ld messages)\n",
        withWindow, withWindow / bare, progressMessages.load());
    PostMessageW(windowThread.window, WM_QUIT, 0, 0);
    PostThreadMessageW(GetThreadId(thread), WM_QUIT, 0, 0);
    WaitForSingleObject(thread, 5000);
    return 0;
}
