#include "test_support.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include <gtest/gtest.h>

#include "base/unique_handle_win.h"

namespace fs = std::filesystem;

namespace {

std::wstring EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? Utf8ToWide(value) : std::wstring();
}

void EmptyFolder(const std::wstring& folder) {
    std::error_code ignored;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ignored)) {
        fs::remove_all(entry.path(), ignored);
    }
}

}  // namespace

std::wstring WindowsPathFromEnvironment(const char* name) {
    std::wstring path = EnvironmentValue(name);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path.empty() ? path : L"Z:" + path;
}

std::wstring Utf8ToWide(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end())).wstring();
}

std::string WideToUtf8(const std::wstring& text) {
    const std::u8string utf8 = fs::path(text).u8string();
    return std::string(utf8.begin(), utf8.end());
}

std::string ReadAll(const std::wstring& path) {
    std::ifstream in{fs::path(path), std::ios::binary};
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::wstring& path, const std::string& bytes) {
    std::ofstream(fs::path(path), std::ios::binary | std::ios::trunc)
        .write(bytes.data(), bytes.size());
}

std::wstring PendingFileRenames() {
    const wchar_t* key = L"System\\CurrentControlSet\\Control\\Session Manager";
    const wchar_t* name = L"PendingFileRenameOperations";
    DWORD size = 0;
    RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_MULTI_SZ, nullptr, nullptr, &size);
    std::wstring data(size / sizeof(wchar_t), L'\0');
    RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_MULTI_SZ, nullptr, data.data(), &size);
    return data;
}

ChildRun RunThisProgramFor(const std::wstring& arguments, DWORD limitMs) {
    ChildRun run;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    UniqueKernelHandle readEnd;
    UniqueKernelHandle writeEnd;
    if (!CreatePipe(readEnd.Put(), writeEnd.Put(), &inherit, 0)) {
        return run;
    }
    SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION info = {};
    wchar_t program[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(program) + L"\" " + arguments;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &info)) {
        return run;
    }
    UniqueKernelHandle process(info.hProcess);
    UniqueKernelHandle thread(info.hThread);
    writeEnd.Reset();  // so that the pipe breaks when the child closes its end

    // Only what is there is read, so that a child that writes nothing more cannot hold the run.
    char buffer[4096];
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(readEnd.Get(), nullptr, 0, nullptr, &available, nullptr)) {
            break;  // the child closed its end
        }
        DWORD read = 0;
        if (available > 0 &&
            ReadFile(readEnd.Get(), buffer, std::min<DWORD>(available, sizeof buffer), &read,
                     nullptr) &&
            read > 0) {
            run.output.append(buffer, read);
            continue;
        }
        if (GetTickCount() - start >= limitMs) {
            break;
        }
        Sleep(10);
    }
    const DWORD spent = GetTickCount() - start;
    run.ended =
        WaitForSingleObject(process.Get(), spent < limitMs ? limitMs - spent : 0) == WAIT_OBJECT_0;
    if (!run.ended) {
        TerminateProcess(process.Get(), 255);
        WaitForSingleObject(process.Get(), 5000);
    }
    return run;
}

std::string RunThisProgram(const std::wstring& arguments) {
    const ChildRun run = RunThisProgramFor(arguments, 60000);
    if (!run.ended) {
        ADD_FAILURE() << "the child run did not end within 60 s: " << WideToUtf8(arguments);
    }
    return run.output;
}

ScopedRegistryValue::ScopedRegistryValue(HKEY root, const std::wstring& path,
                                         const std::wstring& name, REGSAM view)
    : name_(name) {
    RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE | view, nullptr, &key_,
                    nullptr);
    DWORD size = 0;
    if (key_ != nullptr &&
        RegQueryValueExW(key_, name.c_str(), nullptr, &oldType_, nullptr, &size) == ERROR_SUCCESS) {
        oldData_.resize(size);
        hadValue_ =
            RegQueryValueExW(key_, name.c_str(), nullptr, &oldType_,
                             reinterpret_cast<BYTE*>(oldData_.data()), &size) == ERROR_SUCCESS;
    }
}

ScopedRegistryValue::~ScopedRegistryValue() {
    if (key_ == nullptr) {
        return;
    }
    if (hadValue_) {
        RegSetValueExW(key_, name_.c_str(), 0, oldType_,
                       reinterpret_cast<const BYTE*>(oldData_.data()),
                       static_cast<DWORD>(oldData_.size()));
    } else {
        RegDeleteValueW(key_, name_.c_str());
    }
    RegCloseKey(key_);
}

void ScopedRegistryValue::SetString(const std::wstring& value) {
    RegSetValueExW(key_, name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void ScopedRegistryValue::SetDword(DWORD value) {
    RegSetValueExW(key_, name_.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                   sizeof value);
}

void ScopedRegistryValue::Remove() {
    RegDeleteValueW(key_, name_.c_str());
}

bool ExpectedWow64() {
    return EnvironmentValue("TALLIX_EXPECT_WOW64") == L"1";
}

std::string JsonString(const std::string& line, const std::string& key) {
    std::smatch match;
    return std::regex_search(line, match, std::regex("\"" + key + "\": \"([^\"]*)\""))
               ? match[1].str()
               : std::string();
}

std::wstring ServerOrigin() {
    return EnvironmentValue("TALLIX_SERVER_ORIGIN");
}

std::wstring ClosedOrigin() {
    return EnvironmentValue("TALLIX_CLOSED_ORIGIN");
}

// Without a root, the folder "" cannot be listed: nothing is removed.
ServedFiles::ServedFiles() : root_(WindowsPathFromEnvironment("TALLIX_SERVER_ROOT")) {
    EmptyFolder(root_);
}

ServedFiles::~ServedFiles() {
    EmptyFolder(root_);
}

void ServedFiles::Put(const std::string& urlPath, const std::string& bytes) {
    const fs::path file = fs::path(root_) / fs::path(Utf8ToWide(urlPath.substr(1)));
    std::error_code ignored;
    fs::create_directories(file.parent_path(), ignored);
    WriteAll(file.wstring(), bytes);
}

void ServedFiles::SetRules(const std::string& json) {
    Put("/_rules.json", json);
}

ServerLog::ServerLog() : path_(WindowsPathFromEnvironment("TALLIX_SERVER_LOG")) {
    std::error_code missing;
    const auto size = fs::file_size(path_, missing);
    start_ = missing ? 0 : static_cast<std::size_t>(size);
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
    std::smatch match;
    return std::regex_search(path, match, std::regex("[?&]" + key + "=([^&]*)")) ? match[1].str()
                                                                                 : std::string();
}

std::string PathOnly(const std::string& path) {
    return path.substr(0, path.find('?'));
}

std::wstring StubFolder(const std::string& folder) {
    const std::wstring stubs = WindowsPathFromEnvironment("TALLIX_STUBS_DIR");
    return stubs.empty() ? std::wstring() : stubs + L"\\" + Utf8ToWide(folder) + L"\\";
}

TempFolder::TempFolder() {
    static unsigned counter = 0;
    const std::wstring name = L"tallix-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++counter) + L"\\";
    path_ = (fs::temp_directory_path() / name).wstring();
    std::error_code ignored;
    fs::remove_all(path_, ignored);
    fs::create_directories(path_, ignored);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}
