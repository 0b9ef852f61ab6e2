// Access to the loopback server that the test run starts (tests/servers/loopback_server.py): its
// scenario folder, which the tests fill with the files it serves, and its request log.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The origin "http://127.0.0.1:<port>" of the manifest server, or empty when the test run did not
// start one.
std::wstring ServerOrigin();

// An origin on a loopback port where nothing listens: a host that is down.
std::wstring ClosedOrigin();

// Skips the current test when the server is not there.
#define REQUIRE_LOOPBACK_SERVER()                                     \
    do {                                                              \
        if (ServerOrigin().empty()) {                                 \
            GTEST_SKIP() << "no loopback server (run through ctest)"; \
        }                                                             \
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
