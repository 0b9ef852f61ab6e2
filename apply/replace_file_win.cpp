#include "apply/replace_file_win.h"

#include <windows.h>
#include <aclapi.h>
#include <shlwapi.h>

#include "base/unique_handle_win.h"
#include "manifest/file_version_win.h"

namespace {

struct SidTraits {
    using Handle = PSID;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { FreeSid(h); }
};
using UniqueSid = UniqueHandle<SidTraits>;

struct LocalMemoryTraits {
    using Handle = HLOCAL;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { LocalFree(h); }
};
using UniqueLocal = UniqueHandle<LocalMemoryTraits>;

const wchar_t kTakeOwnership[] = L"SeTakeOwnershipPrivilege";

SwapOps FileSystemOps() {
    SwapOps ops;
    ops.copy = [](const std::wstring& from, const std::wstring& to) {
        return CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
    };
    ops.move = [](const std::wstring& from, const std::wstring& to, bool replace) {
        // Written through, so that the rename is on the disk before the caller goes on.
        const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
        return MoveFileExW(from.c_str(), to.c_str(), flags) != FALSE;
    };
    ops.remove = [](const std::wstring& path) {
        // A copy keeps its source's read-only attribute, which would keep the staged file.
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
    };
    ops.exists = [](const std::wstring& path) { return PathFileExistsW(path.c_str()) != FALSE; };
    ops.size = FileSizeOf;
    ops.version = [](const std::wstring& path) { return FileProductVersion(path); };
    ops.repairAccess = [](const std::wstring& path) {
        GrantFullAccess(path);
        ClearReadOnly(path);
    };
    ops.deleteAtRestart = [](const std::wstring& path) {
        MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    };
    ops.sleep = [](int ms) { Sleep(static_cast<DWORD>(ms)); };
    ops.ticks = [] { return static_cast<unsigned long>(GetTickCount()); };
    return ops;
}

// Fails when any call fails or when the privilege was not held.
bool SetPrivilege(HANDLE token, const wchar_t* name, bool enable) {
    TOKEN_PRIVILEGES privileges = {};
    if (!LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) {
        return false;
    }
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    if (!AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, nullptr, nullptr)) {
        return false;
    }
    return GetLastError() != ERROR_NOT_ALL_ASSIGNED;
}

bool ApplyAccessList(wchar_t* path, PACL acl) {
    return SetNamedSecurityInfoW(path, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                 acl, nullptr) == ERROR_SUCCESS;
}

}  // namespace

long long FileSizeOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return -1;
    }
    return static_cast<long long>((static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) |
                                  data.nFileSizeLow);
}

void ClearReadOnly(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
}

void GrantFullAccess(const std::wstring& target) {
    wchar_t path[MAX_PATH] = {};
    target.copy(path, std::min<std::size_t>(target.size(), MAX_PATH - 1));

    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    UniqueSid everyone;
    UniqueSid admins;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0,
                                  everyone.Put()) ||
        !AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                  0, 0, 0, 0, 0, admins.Put())) {
        return;
    }
    EXPLICIT_ACCESSW entries[2] = {};
    entries[0].grfAccessPermissions = GENERIC_READ;
    entries[0].grfAccessMode = SET_ACCESS;
    entries[0].grfInheritance = NO_INHERITANCE;
    entries[0].Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entries[0].Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    entries[0].Trustee.ptstrName = static_cast<LPWSTR>(everyone.Get());
    entries[1].grfAccessPermissions = GENERIC_ALL;
    entries[1].grfAccessMode = SET_ACCESS;
    entries[1].grfInheritance = NO_INHERITANCE;
    entries[1].Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entries[1].Trustee.TrusteeType = TRUSTEE_IS_GROUP;
    entries[1].Trustee.ptstrName = static_cast<LPWSTR>(admins.Get());
    PACL rawAcl = nullptr;
    if (SetEntriesInAclW(2, entries, nullptr, &rawAcl) != ERROR_SUCCESS) {
        return;
    }
    UniqueLocal acl(rawAcl);
    if (ApplyAccessList(path, rawAcl)) {
        return;
    }
    // The access list may not be changed by us: the Administrators take the file over first.
    UniqueKernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.Put())) {
        return;
    }
    const bool enabled = SetPrivilege(token.Get(), kTakeOwnership, true);
    const bool owned =
        enabled && SetNamedSecurityInfoW(path, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                         admins.Get(), nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    const bool disabled = enabled && SetPrivilege(token.Get(), kTakeOwnership, false);
    if (enabled && owned && disabled) {
        ApplyAccessList(path, rawAcl);
    }
}

bool SwapInFile(const std::wstring& source, const std::wstring& target, const SwapPolicy& policy) {
    return SwapIn(source, target, policy, FileSystemOps());
}

bool ReplaceFile(const std::wstring& source, const std::wstring& target) {
    return SwapInFile(source, target, kReplacePolicy);
}
