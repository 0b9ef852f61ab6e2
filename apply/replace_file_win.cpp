#include "apply/replace_file_win.h"

#include <windows.h>
#include <aclapi.h>
#include <shlwapi.h>

#include "base/unique_handle_win.h"

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

bool Copy(const std::wstring& source, const std::wstring& target) {
    return CopyFileW(source.c_str(), target.c_str(), FALSE) != FALSE;
}

bool Exists(const std::wstring& path) {
    return PathFileExistsW(path.c_str()) != FALSE;
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

std::wstring DisplacedName(const std::wstring& target, unsigned long ticks) {
    // Formatted as a signed number, as "%d" of the tick count gives it.
    return target + L"." + std::to_wstring(static_cast<int>(ticks)) + L".tmp";
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

bool ReplaceFile(const std::wstring& source, const std::wstring& target) {
    if (Copy(source, target)) {
        return true;
    }
    for (int retry = 0; retry < kReplaceRetries; ++retry) {
        if (Exists(target)) {
            GrantFullAccess(target);
        }
        const bool copied = Copy(source, target);
        Sleep(kReplaceRetryMs);
        if (copied) {
            return true;
        }
    }
    if (!Exists(target)) {
        return false;
    }
    const std::wstring displaced = DisplacedName(target, GetTickCount());
    if (!MoveFileW(target.c_str(), displaced.c_str())) {
        return false;
    }
    // The displaced file is the only copy of the installed program until the new one is in
    // place: when the copy fails, whatever it left is removed and the old program goes back
    // under its own name. Its deletion at the next start is registered only once the copy has
    // succeeded, so a failure leaves nothing scheduled; a success records the same entry.
    if (!Copy(source, target)) {
        DeleteFileW(target.c_str());
        MoveFileW(displaced.c_str(), target.c_str());
        return false;
    }
    MoveFileExW(displaced.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return true;
}
