/* A stand-in for a program of the suite, with the version resource its build gives it. It notes
   each start by appending its command line to "<its own path>.log" (UTF-16). What else it does is told by
   files beside it, so that one build serves every program and survives being replaced:
     <path>.class     its first line names the class of a top-level window that it owns; the
                      program ends when that window gets WM_CLOSE
     <path>.stubborn  WM_CLOSE is ignored: only ending the process stops it
     <path>.guard     it owns the guard's named event "HELVOR3_WARDEL_EVENT_NAME" and ends when
                      the event is set
     <path>.lock      its first line names a file that it holds open for reading and writing,
                      letting others read and rename it but not write it
     <path>.visible   the window is shown, titled with the command line it was started with
   Without any of them it ends at once. It never lives longer than two minutes. */
#include <windows.h>

static BOOL g_stubborn = FALSE;

static LRESULT CALLBACK ProgramWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        if (!g_stubborn) {
            DestroyWindow(hwnd);
        }
        return 0;
    }
    if (message == WM_PAINT) {
        /* The command line, for pictures taken where no window manager draws a caption. */
        PAINTSTRUCT paint;
        RECT client;
        HDC dc = BeginPaint(hwnd, &paint);
        GetClientRect(hwnd, &client);
        DrawTextW(dc, GetCommandLineW(), -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        EndPaint(hwnd, &paint);
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
        wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
        RegisterClassW(&wc);
        HWND window = CreateWindowExW(0, className, GetCommandLineW(), WS_OVERLAPPEDWINDOW, 40, 40,
                                      640, 120, NULL, NULL, wc.hInstance, NULL);
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
