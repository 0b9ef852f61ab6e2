// Helpers for the Windows tests that run under Wine, and access to the loopback server that the
// test run starts (tests/servers/loopback_server.py): the files it serves and its request log.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The Linux path in an environment variable of the test run as "Z:\..." (Wine maps the Linux
// root to drive Z:), or empty.
std::wstring WindowsPathFromEnvironment(const char* name);

// A run of this test program as a child: what it wrote to standard output, and whether it ended
// within its time limit.
struct ChildRun {
    std::string output;
    bool ended = false;
};

// Starts this test program with `arguments` and reads its standard output until the child closes
// it; a child still running after `limitMs` is terminated, with the output read so far.
ChildRun RunThisProgramFor(const std::wstring& arguments, DWORD limitMs);

// The same with a limit of 60 s; a child that does not end within it fails the calling test.
std::string RunThisProgram(const std::wstring& arguments);

std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

// Pumps this thread's messages for up to `ms`, or until `done` holds; returns `done()`.
template <typename Done>
bool PumpUntil(DWORD ms, Done done) {
    for (const DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(10)) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done()) {
            return true;
        }
    }
    return done();
}

std::string ReadAll(const std::wstring& path);
void WriteAll(const std::wstring& path, const std::string& bytes);

// The Session Manager's PendingFileRenameOperations as stored (REG_MULTI_SZ): a deletion at the
// next start is "\??\<path>" followed by an empty destination.
std::wstring PendingFileRenames();

// Sets a registry value for the lifetime of the object and puts back what was there before
// (or removes the value when there was none). By default in the 64-bit view, where a 64-bit
// system keeps its own values and its 64-bit programs' (32-bit Windows ignores the flag); a
// 32-bit program of the suite writes KEY_WOW64_32KEY.
class ScopedRegistryValue {
  public:
    ScopedRegistryValue(HKEY root, const std::wstring& path, const std::wstring& name,
                        REGSAM view = KEY_WOW64_64KEY);
    ~ScopedRegistryValue();
    ScopedRegistryValue(const ScopedRegistryValue&) = delete;
    ScopedRegistryValue& operator=(const ScopedRegistryValue&) = delete;

    void SetString(const std::wstring& value);
    void SetDword(DWORD value);
    void Remove();

  private:
    HKEY key_ = nullptr;
    std::wstring name_;
    bool hadValue_ = false;
    DWORD oldType_ = 0;
    std::string oldData_;
};

// The origin "http://127.0.0.1:<port>" of the manifest server, or empty when the test run did not
// start one.
std::wstring ServerOrigin();

// An origin on a loopback port where nothing listens: a host that is down.
std::wstring ClosedOrigin();

// Skips the current test outside ctest, which starts the loopback server and sets the variables
// that name it, the stub programs and the signature fixtures.
#define REQUIRE_TEST_RUN()                                             \
    do {                                                               \
        if (ServerOrigin().empty()) {                                  \
            GTEST_SKIP() << "no test environment (run through ctest)"; \
        }                                                              \
    } while (0)

// The files the server answers with. Emptied when constructed and when destroyed.
class ServedFiles {
  public:
    ServedFiles();
    ~ServedFiles();
    ServedFiles(const ServedFiles&) = delete;
    ServedFiles& operator=(const ServedFiles&) = delete;

    // Serves `bytes` at `urlPath` ("/keldra/upgrade.xml").
    void Put(const std::string& urlPath, const std::string& bytes);

    // Replaces the per-path answers (the server's _rules.json), e.g.
    // {"/keldra/upgrade.xml": {"answer": "html404"}}.
    void SetRules(const std::string& json);

  private:
    std::wstring root_;
};

struct LoggedRequest {
    std::string method;
    std::string path;  // with its query
    std::string line;  // the whole JSON line, for headers and messages
};

// The JSON string value of `key` in a flat line written by json.dumps (no escapes), or empty.
std::string JsonString(const std::string& line, const std::string& key);

// The requests the server logs from the moment the object is made.
class ServerLog {
  public:
    ServerLog();
    std::vector<LoggedRequest> NewRequests() const;

  private:
    std::wstring path_;
    std::size_t start_ = 0;
};

// "a.xml?a=-12" gives "-12" for "a"; empty when the key is absent.
std::string QueryValue(const std::string& path, const std::string& key);
// The path without its query.
std::string PathOnly(const std::string& path);

// True when the test run says that this program runs under WOW64 (a 32-bit program on 64-bit
// Windows), as it knows from the system it started the program on.
bool ExpectedWow64();

// The folder of a stub program built by tests/stubs/stubs.cmake, with a trailing backslash;
// empty when the test run did not say where the stubs are.
std::wstring StubFolder(const std::string& folder);

// A new empty folder below the temporary folder, with a trailing backslash, removed with its
// contents when the object goes.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& Path() const { return path_; }

  private:
    std::wstring path_;
};
