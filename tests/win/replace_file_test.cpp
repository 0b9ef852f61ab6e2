// Replacing installed files against real locks. What Wine models: sharing modes of open handles
// (a copy over a file held without write sharing fails with 32), renaming a file whose handle
// allows deletion, and the restart deletion, which MoveFileEx records in the Session Manager's
// "PendingFileRenameOperations" value as on Windows. What it does not model: access lists. They
// are stored and read back as derived from the Unix permissions and never refuse the updater
// (everything runs as root), so the take-ownership path of GrantFullAccess cannot be reached here;
// the tests only show that an access list that denies writing does not stop the replacement.
#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/unique_handle_win.h"
#include "apply/replace_file_win.h"
#include "loopback_server_support.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

const wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingRenames[] = L"PendingFileRenameOperations";

void Write(const std::wstring& path, const std::string& text) {
    std::ofstream(fs::path(path), std::ios::binary) << text;
}

std::string Read(const std::wstring& path) {
    std::ifstream in{fs::path(path), std::ios::binary};
    return std::string(std::istreambuf_iterator<char>(in), {});
}

UniqueFileHandle Hold(const std::wstring& path, DWORD share) {
    return UniqueFileHandle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
}

// The displaced files beside the target ("<name>.<ticks>.tmp").
std::vector<std::wstring> Displaced(const std::wstring& folder) {
    std::vector<std::wstring> found;
    for (const auto& entry : fs::directory_iterator(fs::path(folder))) {
        if (entry.path().extension() == L".tmp") {
            found.push_back(entry.path().filename().wstring());
        }
    }
    return found;
}

// The REG_MULTI_SZ value as its strings (empty strings kept: each pair ends with an empty
// destination).
std::vector<std::wstring> PendingRenames() {
    HKEY key = nullptr;
    std::vector<std::wstring> strings;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return strings;
    }
    DWORD type = 0;
    DWORD size = 0;
    RegQueryValueExW(key, kPendingRenames, nullptr, &type, nullptr, &size);
    std::wstring data(size / sizeof(wchar_t), L'\0');
    if (size > 0 &&
        RegQueryValueExW(key, kPendingRenames, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &size) == ERROR_SUCCESS &&
        type == REG_MULTI_SZ) {
        for (std::size_t start = 0; start < data.size();) {
            const std::size_t end = data.find(L'\0', start);
            strings.push_back(data.substr(start, end - start));
            start = end == std::wstring::npos ? data.size() : end + 1;
        }
    }
    RegCloseKey(key);
    return strings;
}

// A new build beside the installed one, both written before each case.
class ReplacingFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        Write(source, "new build");
        Write(target, "old build");
    }
    TempFolder folder;
    const std::wstring source = folder.Path() + L"new.exe";
    const std::wstring target = folder.Path() + L"keldra.exe";
};

TEST_F(ReplacingFiles, LockedTargetIsMovedAsideCopiedAndItsDeletionScheduled) {
    ScopedRegistryValue restore(HKEY_LOCAL_MACHINE, kSessionManager, kPendingRenames);
    // Held for reading and writing by a running program: no write sharing, renaming allowed.
    UniqueFileHandle lock = Hold(target, FILE_SHARE_READ | FILE_SHARE_DELETE);
    ASSERT_TRUE(lock.Valid());
    ASSERT_FALSE(CopyFileW(source.c_str(), target.c_str(), FALSE));
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    EXPECT_TRUE(ReplaceFile(source, target));
    EXPECT_EQ(Read(target), "new build");
    const std::vector<std::wstring> displaced = Displaced(folder.Path());
    ASSERT_EQ(displaced.size(), 1u);
    EXPECT_EQ(displaced[0].rfind(L"keldra.exe.", 0), 0u) << WideToUtf8(displaced[0]);
    EXPECT_EQ(Read(folder.Path() + displaced[0]), "old build");

    // Recorded as "\??\<path>" followed by an empty destination: delete at the next start.
    const std::vector<std::wstring> pending = PendingRenames();
    const std::wstring source32 = L"\\??\\" + folder.Path() + displaced[0];
    bool recorded = false;
    for (std::size_t i = 0; i + 1 < pending.size(); ++i) {
        recorded = recorded ||
                   (_wcsicmp(pending[i].c_str(), source32.c_str()) == 0 && pending[i + 1].empty());
    }
    EXPECT_TRUE(recorded) << WideToUtf8(source32);
    lock.Reset();
}

TEST_F(ReplacingFiles, TargetHeldWithoutAnySharingStaysAsItWas) {
    UniqueFileHandle lock = Hold(target, 0);
    ASSERT_TRUE(lock.Valid());
    const bool renamable = MoveFileW(target.c_str(), (target + L".probe").c_str()) != FALSE;
    if (renamable) {
        MoveFileW((target + L".probe").c_str(), target.c_str());
        GTEST_SKIP() << "this Wine renames a file held without delete sharing";
    }
    EXPECT_FALSE(ReplaceFile(source, target));
    lock.Reset();
    EXPECT_EQ(Read(target), "old build");
    EXPECT_TRUE(Displaced(folder.Path()).empty());
}

TEST_F(ReplacingFiles, UnreadableSourceAndNoTargetFailsAfterEveryRetryWithoutRename) {
    DeleteFileW(source.c_str());
    DeleteFileW(target.c_str());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ReplaceFile(source, target));
    // The first copy and 20 retries, each retry followed by its 200 ms pause.
    EXPECT_GE(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(kReplaceRetries * kReplaceRetryMs));
    EXPECT_FALSE(fs::exists(fs::path(target)));
    EXPECT_TRUE(Displaced(folder.Path()).empty());
}

TEST_F(ReplacingFiles, SourceReleasedDuringTheRetriesIsCopiedWithoutRename) {
    UniqueFileHandle lock(
        CreateFileW(source.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock.Valid());
    std::thread release([&] {
        Sleep(700);
        lock.Reset();
    });
    EXPECT_TRUE(ReplaceFile(source, target));
    release.join();
    EXPECT_EQ(Read(target), "new build");
    EXPECT_TRUE(Displaced(folder.Path()).empty());
}

TEST_F(ReplacingFiles, ReadOnlyTargetIsReplacedOnceTheCallerClearsTheAttribute) {
    ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
    ClearReadOnly(target);
    EXPECT_EQ(GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_TRUE(ReplaceFile(source, target));
    EXPECT_EQ(Read(target), "new build");
}

TEST_F(ReplacingFiles, AccessListThatDeniesWritingDoesNotStopTheReplacement) {
    // Everyone denied writing. Windows would refuse the first copy and GrantFullAccess would
    // repair the list; Wine accepts the list and never enforces it.
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    ASSERT_TRUE(
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
    EXPLICIT_ACCESSW deny = {};
    deny.grfAccessPermissions = GENERIC_WRITE;
    deny.grfAccessMode = DENY_ACCESS;
    deny.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    deny.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    deny.Trustee.ptstrName = static_cast<LPWSTR>(everyone);
    PACL acl = nullptr;
    ASSERT_EQ(SetEntriesInAclW(1, &deny, nullptr, &acl), static_cast<DWORD>(ERROR_SUCCESS));
    std::vector<wchar_t> path(target.begin(), target.end());
    path.push_back(L'\0');
    SetNamedSecurityInfoW(path.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                          acl, nullptr);
    LocalFree(acl);
    FreeSid(everyone);

    GrantFullAccess(target);
    GrantFullAccess(folder.Path() + L"no-such-file.exe");  // silently nothing
    EXPECT_TRUE(ReplaceFile(source, target));
    EXPECT_EQ(Read(target), "new build");
}

}  // namespace
