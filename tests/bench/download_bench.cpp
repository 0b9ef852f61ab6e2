// Throughput of the downloader against a bare WinINet loop, on the same loopback file in one
// run: the bare loop reads 8 KiB blocks and drops them; PLDownloader writes them to its file,
// once with a status object that has no window (the cost of the file writing alone) and once
// with a status object that sends the progress message for every block to a real window whose
// message loop runs on a thread of its own, as in the updater. Prints the figures and ratios.
// Usage: download_bench.exe URL [ROUNDS]
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

#include "base/unique_handle_win.h"
#include "download/downloader_status_win.h"
#include "download/pl_downloader_win.h"
#include "manifest/internet_handle_win.h"

namespace {

// Bytes read by a plain loop of 8 KiB InternetReadFile calls.
std::uint64_t BareLoop(const std::wstring& url) {
    UniqueInternetHandle session(
        InternetOpenW(L"bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    UniqueInternetHandle request(InternetOpenUrlW(
        session.Get(), url.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE,
        0));
    static char buffer[8192];
    std::uint64_t total = 0;
    DWORD read = 0;
    while (request.Valid() && InternetReadFile(request.Get(), buffer, sizeof buffer, &read) &&
           read > 0) {
        total += read;
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
    UniqueKernelHandle thread(downloader.DuplicateThreadHandle());
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
    UniqueKernelHandle thread(CreateThread(nullptr, 0, RunWindow, &windowThread, 0, nullptr));
    WaitForSingleObject(windowThread.ready, INFINITE);
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"download_bench.bin";

    // The three ways take turns within each round, so that they meet the same machine load;
    // the best round of each counts.
    const char* const names[] = {"bare WinINet 8 KiB loop", "PLDownloader, status without a window",
                                 "PLDownloader, progress message per block to a window"};
    double best[3] = {};
    for (int round = 1; round <= rounds; ++round) {
        std::uint64_t bytes[3] = {};
        for (int way = 0; way < 3; ++way) {
            LARGE_INTEGER start, end, frequency;
            QueryPerformanceCounter(&start);
            bytes[way] = way == 0 ? BareLoop(url)
                                  : WithDownloader(url, way == 1 ? nullptr : windowThread.window,
                                                   path);
            QueryPerformanceCounter(&end);
            QueryPerformanceFrequency(&frequency);
            const double rate = static_cast<double>(bytes[way]) * frequency.QuadPart /
                                static_cast<double>(end.QuadPart - start.QuadPart) / 1e6;
            std::printf("round %d, %s: %.1f MB/s\n", round, names[way], rate);
            best[way] = std::max(best[way], rate);
        }
        if (bytes[0] == 0 || bytes[1] != bytes[0] || bytes[2] != bytes[0]) {
            std::puts("the downloads differ in size: no figures");
            return 1;
        }
    }
    for (int way = 0; way < 3; ++way) {
        std::printf("%s: %.1f MB/s (ratio %.2f)\n", names[way], best[way], best[way] / best[0]);
    }
    std::printf("%ld progress messages\n", progressMessages.load());
    PostThreadMessageW(GetThreadId(thread.Get()), WM_QUIT, 0, 0);
    WaitForSingleObject(thread.Get(), 5000);
    return 0;
}
