/* A stand-in for a program of the suite, with the version resource its build gives it. It notes
   each start by appending its command line to "<its own path>.log" (UTF-16). What else it does is
   told by files beside it, so that one build serves every program and survives being replaced:
     <path>.class     its first line names the class of a top-level window that it owns; the
                      program ends when that window gets WM_CLOSE
     <path>.stubborn  WM_CLOSE is ignored: only ending the process stops it
     <path>.guard     it owns the guard's named event "HELVOR3_WARDEL_EVENT_NAME" and ends when
                      the event is set
     <path>.lock      its first line names a file that it holds open for reading and writing,
                      letting others read and rename it but not write it
     <path>.visible   the window is shown: a small program's window with its product name and
                      version (from its version resource) and the switches it was started with
   Without any of them it ends at once. It never lives longer than two minutes. */
#include <windows.h>

static BOOL g_stubborn = FALSE;
static wchar_t g_product[64]; /* product name, or the file name without ".exe" */
static wchar_t g_version[32]; /* product version "a.b.c.d", or empty */

/* The product name and version of this program's version resource, for its window. */
static void ReadProduct(const wchar_t* self) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(self, &ignored);
    const wchar_t* name = self;
    const wchar_t* at;
    wchar_t* dot;
    for (at = self; *at != L'\0'; ++at) {
        if (*at == L'\\') {
            name = at + 1;
        }
    }
    lstrcpynW(g_product, name, 64);
    dot = g_product + lstrlenW(g_product) - 4;
    if (dot > g_product && lstrcmpiW(dot, L".exe") == 0) {
        *dot = L'\0';
    }
    if (size != 0) {
        void* data = HeapAlloc(GetProcessHeap(), 0, size);
        wchar_t* text = NULL;
        VS_FIXEDFILEINFO* fixed = NULL;
        UINT length = 0;
        if (data != NULL && GetFileVersionInfoW(self, 0, size, data)) {
            if (VerQueryValueW(data, L"\\StringFileInfo\\080404b0\\ProductName", (void**)&text,
                               &length) &&
                length > 1) {
                lstrcpynW(g_product, text, 64);
            }
            if (VerQueryValueW(data, L"\\", (void**)&fixed, &length) && fixed != NULL) {
                wsprintfW(g_version, L"%u.%u.%u.%u", HIWORD(fixed->dwProductVersionMS),
                          LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS),
                          LOWORD(fixed->dwProductVersionLS));
            }
        }
        HeapFree(GetProcessHeap(), 0, data);
    }
}

/* The switches of the command line: what follows the program's own path. */
static const wchar_t* Switches(void) {
    const wchar_t* at = GetCommandLineW();
    if (*at == L'"') {
        for (++at; *at != L'\0' && *at != L'"'; ++at) {
        }
        if (*at == L'"') {
            ++at;
        }
    } else {
        for (; *at != L'\0' && *at != L' '; ++at) {
        }
    }
    while (*at == L' ') {
        ++at;
    }
    return at;
}

static void DrawLine(HDC dc, const wchar_t* text, RECT box, int height, int weight,
                     COLORREF color) {
    HFONT font = CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                             CLEARTYPE_QUALITY, 0, L"Tahoma");
    HGDIOBJ old = SelectObject(dc, font);
    SetTextColor(dc, color);
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, text, -1, &box, DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
    SelectObject(dc, old);
    DeleteObject(font);
}

/* A small program's face: a coloured title band with the product name, its version, and the
   switches it was started with (so that a picture shows a restart by the updater). */
static void PaintProgram(HWND hwnd) {
    PAINTSTRUCT paint;
    RECT client;
    RECT band;
    RECT line;
    wchar_t text[160];
    const wchar_t* switches = Switches();
    HDC dc = BeginPaint(hwnd, &paint);
    HBRUSH bandBrush = CreateSolidBrush(RGB(45, 110, 170));
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, (HBRUSH)(COLOR_BTNFACE + 1));
    band = client;
    band.bottom = band.top + 40;
    FillRect(dc, &band, bandBrush);
    DeleteObject(bandBrush);
    line = band;
    line.left += 14;
    line.top += 9;
    DrawLine(dc, g_product, line, 20, FW_BOLD, RGB(255, 255, 255));
    line = client;
    line.left += 14;
    line.right -= 10;
    line.top = band.bottom + 14;
    wsprintfW(text, g_version[0] != L'\0' ? L"Version %s" : L"No version%s", g_version);
    DrawLine(dc, text, line, 15, FW_NORMAL, RGB(40, 40, 40));
    line.top += 26;
    wsprintfW(text, *switches != L'\0' ? L"Started with %.120s" : L"Started by the user", switches);
    DrawLine(dc, text, line, 13, FW_NORMAL, RGB(110, 110, 110));
    EndPaint(hwnd, &paint);
}

static LRESULT CALLBACK ProgramWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        if (!g_stubborn) {
            DestroyWindow(hwnd);
        }
        return 0;
    }
    if (message == WM_PAINT) {
        PaintProgram(hwnd);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

static void AppendCommandLine(const wchar_t* path) {
    HANDLE log = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, NULL);
    if (log != INVALID_HANDLE_VALUE) {
        const wchar_t* line = GetCommandLineW();
        DWORD written = 0;
        WriteFile(log, line, (DWORD)(lstrlenW(line) * sizeof(wchar_t)), &written, NULL);
        WriteFile(log, L"\r\n", 2 * sizeof(wchar_t), &written, NULL);
        CloseHandle(log);
    }
}

/* The first line of a side file (ANSI text), or FALSE when there is none. */
static BOOL ReadSideFile(const wchar_t* self, const wchar_t* suffix, wchar_t* text, int size) {
    wchar_t path[MAX_PATH + 16];
    char bytes[MAX_PATH];
    DWORD read = 0;
    HANDLE file;
    int i;
    lstrcpynW(path, self, MAX_PATH);
    lstrcatW(path, suffix);
    file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    ReadFile(file, bytes, sizeof bytes - 1, &read, NULL);
    CloseHandle(file);
    bytes[read] = '\0';
    for (i = 0; bytes[i] != '\0'; ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n') {
            bytes[i] = '\0';
            break;
        }
    }
    if (text != NULL) {
        MultiByteToWideChar(CP_ACP, 0, bytes, -1, text, size);
    }
    return TRUE;
}

int main(void) {
    wchar_t self[MAX_PATH + 8];
    wchar_t log[MAX_PATH + 16];
    wchar_t className[MAX_PATH];
    wchar_t locked[MAX_PATH];
    HANDLE event = NULL;
    HANDLE lock = INVALID_HANDLE_VALUE;
    BOOL hasWindow;
    DWORD start = GetTickCount();
    DWORD length = GetModuleFileNameW(NULL, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return 0;
    }
    lstrcpyW(log, self);
    lstrcatW(log, L".log");
    AppendCommandLine(log);

    g_stubborn = ReadSideFile(self, L".stubborn", NULL, 0);
    hasWindow = ReadSideFile(self, L".class", className, MAX_PATH) && className[0] != L'\0';
    if (ReadSideFile(self, L".guard", NULL, 0)) {
        event = CreateEventW(NULL, TRUE, FALSE, L"HELVOR3_WARDEL_EVENT_NAME");
    }
    if (ReadSideFile(self, L".lock", locked, MAX_PATH)) {
        lock = CreateFileW(locked, GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_DELETE, NULL, OPEN_EXISTING, 0, NULL);
    }
    if (hasWindow) {
        WNDCLASSW wc;
        ZeroMemory(&wc, sizeof wc);
        wc.lpfnWndProc = ProgramWindowProc;
        wc.hInstance = GetModuleHandleW(NULL);
        wc.lpszClassName = className;
        wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
        RegisterClassW(&wc);
        wchar_t title[100];
        HWND window;
        ReadProduct(self);
        wsprintfW(title, L"%s %s", g_product, g_version);
        window = CreateWindowExW(0, className, title, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 40,
                                 40, 340, 150, NULL, NULL, wc.hInstance, NULL);
        if (window == NULL) {
            hasWindow = FALSE;
        } else if (ReadSideFile(self, L".visible", NULL, 0)) {
            ShowWindow(window, SW_SHOWNOACTIVATE);
        }
    }
    if (!hasWindow && event == NULL && lock == INVALID_HANDLE_VALUE) {
        return 0;
    }
    while (GetTickCount() - start < 120000) {
        MSG message;
        DWORD count = event != NULL ? 1 : 0;
        DWORD woken = MsgWaitForMultipleObjects(count, &event, FALSE, 100, QS_ALLINPUT);
        if (event != NULL && woken == WAIT_OBJECT_0) {
            break; /* the guard is asked to quit */
        }
        while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                goto done;
            }
            DispatchMessageW(&message);
        }
    }
done:
    if (lock != INVALID_HANDLE_VALUE) {
        CloseHandle(lock);
    }
    if (event != NULL) {
        CloseHandle(event);
    }
    return 0;
}
