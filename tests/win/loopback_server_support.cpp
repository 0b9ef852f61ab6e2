#include "loopback_server_support.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

std::wstring WindowsPathFromEnvironment(const char* name) {
    const std::string value = EnvironmentValue(name);
    return value.empty() ? std::wstring() : LinuxPathToWindows(value);
}

void EmptyFolder(const std::wstring& folder) {
    std::error_code ignored;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ignored)) {
        fs::remove_all(entry.path(), ignored);
    }
}

// The JSON string value of `key` in a flat line written by json.dumps (no escapes needed for
// the ASCII methods and paths that the tests use).
std::string JsonString(const std::string& line, const std::string& key) {
    const std::string marker = "\"" + key + "\": \"";
    const std::size_t start = line.find(marker);
    if (start == std::string::npos) {
        return std::string();
    }
    const std::size_t from = start + marker.size();
    const std::size_t end = line.find('"', from);
    return end == std::string::npos ? std::string() : line.substr(from, end - from);
}

}  // namespace

std::wstring ServerOrigin() {
    return Utf8ToWide(EnvironmentValue("TALLIX_SERVER_ORIGIN"));
}

std::wstring ClosedOrigin() {
    return Utf8ToWide(EnvironmentValue("TALLIX_CLOSED_ORIGIN"));
}

ServedFiles::ServedFiles() : root_(WindowsPathFromEnvironment("TALLIX_SERVER_ROOT")) {
    if (!root_.empty()) {
        EmptyFolder(root_);
    }
}

ServedFiles::~ServedFiles() {
    if (!root_.empty()) {
        EmptyFolder(root_);
    }
}

void ServedFiles::Put(const std::string& urlPath, const std::string& bytes) {
    const fs::path file = fs::path(root_) / fs::path(Utf8ToWide(urlPath.substr(1)));
    std::error_code ignored;
    fs::create_directories(file.parent_path(), ignored);
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(bytes.data(), bytes.size());
}

void ServedFiles::SetRules(const std::string& json) {
    Put("/_rules.json", json);
}

ServerLog::ServerLog() : path_(WindowsPathFromEnvironment("TALLIX_SERVER_LOG")) {
    std::error_code ignored;
    start_ = static_cast<std::size_t>(fs::file_size(path_, ignored));
    if (ignored) {
        start_ = 0;
    }
}

std::vector<LoggedRequest> ServerLog::NewRequests() const {
    std::vector<LoggedRequest> requests;
    std::ifstream file{fs::path(path_), std::ios::binary};
    file.seekg(static_cast<std::streamoff>(start_));
    std::string line;
    while (std::getline(file, line)) {
        requests.push_back({JsonString(line, "method"), JsonString(line, "path"), line});
    }
    return requests;
}

std::string QueryValue(const std::string& path, const std::string& key) {
    const std::size_t query = path.find('?');
    if (query == std::string::npos) {
        return std::string();
    }
    std::istringstream pairs(path.substr(query + 1));
    std::string pair;
    while (std::getline(pairs, pair, '&')) {
        if (pair.compare(0, key.size() + 1, key + "=") == 0) {
            return pair.substr(key.size() + 1);
        }
    }
    return std::string();
}

std::string PathOnly(const std::string& path) {
    return path.substr(0, path.find('?'));
}

std::wstring StubFolder(const std::string& folder) {
    const std::wstring stubs = WindowsPathFromEnvironment("TALLIX_STUBS_DIR");
    return stubs.empty() ? std::wstring() : stubs + L"\\" + Utf8ToWide(folder) + L"\\";
}

TempFolder::TempFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    static unsigned counter = 0;
    path_ = std::wstring(temp) + L"tallix-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter) + L"\\";
    std::error_code ignored;
    fs::remove_all(path_, ignored);
    fs::create_directories(path_, ignored);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}
