#include "app/startup_win.h"

#include <shellapi.h>

#include <cstdio>

#include "base/command_line.h"
#include "base/unique_handle_win.h"
#include "manifest/installed_products.h"
#include "manifest/machine_win.h"
#include "base/registry_win.h"
#include "base/os_version_win.h"
#include "app/session_win.h"
#include "ui/main_frame_win.h"
#include "base/session_state.h"

namespace {

constexpr DWORD kAccessRead = 1;
constexpr DWORD kAccessWrite = 2;

// The directory the write test uses: the calendar's plug-in directory when the calendar started
// the updater (taken as it stands; it must end with a backslash), else the updater's own.
std::wstring WriteTestDirectory() {
    const SessionOptions& options = Options();
    if (options.fromCalendar && !options.resetNew) {
        return CalendarPluginsPath(WindowsProductProbe());
    }
    return ModuleDirectory();
}

struct LocalMemoryTraits {
    using Handle = HLOCAL;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { LocalFree(h); }
};
using UniqueLocal = UniqueHandle<LocalMemoryTraits>;

struct SidTraits {
    using Handle = PSID;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { FreeSid(h); }
};
using UniqueSid = UniqueHandle<SidTraits>;

// Whether `token` passes an access check against a descriptor that grants the Administrators
// group read and write in a private mapping.
bool AdministratorsAccessCheck(HANDLE token) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    UniqueSid admins;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                  0, 0, 0, 0, 0, admins.Put())) {
        return false;
    }
    UniqueLocal descriptorMemory(LocalAlloc(LMEM_ZEROINIT, SECURITY_DESCRIPTOR_MIN_LENGTH));
    const DWORD aclSize =
        sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(admins.Get()) - sizeof(DWORD);
    UniqueLocal aclMemory(LocalAlloc(LMEM_ZEROINIT, aclSize));
    if (!descriptorMemory || !aclMemory) {
        return false;
    }
    auto* descriptor = static_cast<PSECURITY_DESCRIPTOR>(descriptorMemory.Get());
    auto* acl = static_cast<PACL>(aclMemory.Get());
    if (!InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !InitializeAcl(acl, aclSize, ACL_REVISION2) ||
        !AddAccessAllowedAce(acl, ACL_REVISION2, kAccessRead | kAccessWrite, admins.Get()) ||
        !SetSecurityDescriptorDacl(descriptor, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorGroup(descriptor, admins.Get(), FALSE) ||
        !SetSecurityDescriptorOwner(descriptor, admins.Get(), FALSE) ||
        !IsValidSecurityDescriptor(descriptor)) {
        return false;
    }
    GENERIC_MAPPING mapping = {kAccessRead, kAccessWrite, 0, kAccessRead | kAccessWrite};
    PRIVILEGE_SET privileges = {};
    DWORD privilegesSize = sizeof privileges;
    DWORD granted = 0;
    BOOL status = FALSE;
    if (!AccessCheck(descriptor, token, kAccessRead, &mapping, &privileges, &privilegesSize,
                     &granted, &status)) {
        return false;
    }
    return status != FALSE;
}

}  // namespace

bool IsUserAdmin() {
    OsVersionData version;
    if (ReadOsVersionData(version) && version.major < 6) {
        return true;  // before Vista every user counts as administrator
    }
    if (!ImpersonateSelf(SecurityImpersonation)) {
        return false;
    }
    UniqueKernelHandle token;
    bool admin = false;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, FALSE, token.Put()) ||
        (GetLastError() == ERROR_NO_TOKEN &&
         OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put()))) {
        admin = AdministratorsAccessCheck(token.Get());
    }
    return RevertToSelf() && admin;
}

void RunElevated(const std::wstring& file, const std::wstring& parameters) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = L"runas";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOW;
    if (ShellExecuteExW(&info) && info.hProcess != nullptr) {
        CloseHandle(info.hProcess);  // nothing waits for the elevated copy
    }
}

bool PassWriteTest() {
    const std::wstring directory = WriteTestDirectory();
    const std::wstring path = directory + L"test.txt";
    FILE* file = _wfopen(path.c_str(), L"w+");
    if (file == nullptr) {
        if (!IsUserAdmin()) {
            RunElevated(directory + L"tallix.exe", ElevatedParameters(Options()));
        }
        PostQuitMessage(0);
        return false;
    }
    std::fclose(file);
    DeleteFileW(path.c_str());
    return true;
}

bool FindOtherInstance() {
    wchar_t user[261] = {};
    DWORD length = 261;
    GetUserNameW(user, &length);
    const std::wstring mutexName = std::wstring(user) + kFrameClassName;
    HWND other = FindWindowW(kFrameClassName, nullptr);
    // Owned for the whole life of the process and never closed.
    static HANDLE instanceMutex = nullptr;
    instanceMutex = CreateMutexW(nullptr, TRUE, mutexName.c_str());
    const DWORD error = GetLastError();
    return instanceMutex != nullptr && error == ERROR_ALREADY_EXISTS && other != nullptr &&
           SendMessageW(other, UM_QUERY_ENFORCE, 0, 0) == 1;
}

int Run(HINSTANCE instance) {
    CMainFrame frame;
    UpdateSession session(frame);
    HWND hwnd = frame.Create(instance, session);
    if (hwnd == nullptr) {
        return 0;
    }
    session.ApplyShowRule();
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (frame.Hwnd() != nullptr && IsDialogMessageW(frame.Hwnd(), &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
