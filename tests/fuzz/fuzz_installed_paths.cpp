// The installed products' paths built from registry values, and the calendar's staged package
// built from a manifest's file name, against plain references written here: the shell-style join
// keeps a rooted name and otherwise puts exactly one backslash between directory and name; every
// product path is its value followed by the product's file, or empty with an empty value; the
// main program is found by one of its four tests in order; and a staged package never leaves the
// upgrade folder.
#include <set>

#include "apply/finish_rules.h"
#include "base/text.h"
#include "manifest/installed_products.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

bool Rooted(const std::wstring& path) {
    return path.rfind(L"\\\\", 0) == 0 || (path.size() >= 2 && path[1] == L':');
}

std::wstring ReferenceAppend(const std::wstring& directory, const std::wstring& more) {
    std::wstring rest = more;
    if (rest.rfind(L"\\\\", 0) != 0) {
        while (!rest.empty() && rest.front() == L'\\') {
            rest.erase(0, 1);
        }
    }
    if (rest.empty()) {
        return directory;
    }
    if (directory.empty() || Rooted(rest)) {
        return rest;
    }
    return directory.back() == L'\\' ? directory + rest : directory + L"\\" + rest;
}

std::wstring Joined(const std::wstring& directory, const std::wstring& name) {
    return !directory.empty() && directory.back() == L'\\' ? directory + name
                                                           : directory + L"\\" + name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Pieces pieces(data, size);
    const std::wstring calendarDir = fuzz::Widen(pieces.Next());
    const std::wstring plugins = fuzz::Widen(pieces.Next());
    const std::wstring fennickDir = fuzz::Widen(pieces.Next());
    const std::wstring marlowDir = fuzz::Widen(pieces.Next());
    const std::wstring mainDir = fuzz::Widen(pieces.Next());
    const std::wstring mainExe = fuzz::Widen(pieces.Next());
    const std::wstring olderDir = fuzz::Widen(pieces.Next());
    const std::wstring modulePath = fuzz::Widen(pieces.Next());
    const std::wstring productKey = fuzz::Widen(pieces.Next());
    std::set<std::wstring> files;
    for (std::string line = pieces.Next(); !line.empty(); line = pieces.Next()) {
        files.insert(fuzz::Widen(line));
    }
    const bool wow64 = size > 0 && (data[size - 1] & 1) != 0;

    ProductProbe probe;
    probe.wow64 = wow64;
    probe.fileExists = [&files](const std::wstring& path) { return files.count(path) > 0; };
    probe.readString = [&](const RegistryLocation& key, const std::wstring& value) {
        FUZZ_CHECK(key.accessModifier == (wow64 ? kKeyWow64_64Key : 0u));
        const bool machine = key.root == RegistryRoot::kLocalMachine;
        FUZZ_CHECK(!machine || (wow64 == Contains(key.path, L"Wow6432Node")));
        if (key.path == L"Software\\Orvane\\Dayloom") {
            return value == kValueInstallDir ? calendarDir : plugins;
        }
        if (key.path == L"Software\\Orvane\\Fennick3") {
            return fennickDir;
        }
        if (key.path == L"Software\\Orvane\\Marlow") {
            return marlowDir;
        }
        if (Contains(key.path, L"Keldra")) {
            return value == kValueInstallDir ? mainDir : mainExe;
        }
        return Contains(key.path, L"Helvor3") ? olderDir : std::wstring();
    };

    // The join, against the reference and what it must keep.
    for (const std::wstring& more : {plugins, fennickDir, marlowDir, mainExe}) {
        const std::wstring joined = AppendPath(calendarDir, more);
        FUZZ_CHECK(joined == ReferenceAppend(calendarDir, more));
        // A rooted name (a share, or a drive that no leading backslash hides) stays as it is.
        if (more.rfind(L"\\\\", 0) == 0 || (Rooted(more) && more[0] != L'\\')) {
            FUZZ_CHECK(joined == more);
        }
    }
    const auto followedBy = [](const std::wstring& value, const std::wstring& file) {
        return value.empty() ? std::wstring() : value + file;
    };
    FUZZ_CHECK(CalendarExecutablePath(probe) ==
               (calendarDir.empty() ? L"" : AppendPath(calendarDir, L"dayloom.exe")));
    FUZZ_CHECK(CalendarPluginsPath(probe) == plugins);
    FUZZ_CHECK(FennickExecutablePath(probe) == followedBy(fennickDir, L"fennick.exe"));
    FUZZ_CHECK(MarlowExecutablePath(probe) == followedBy(marlowDir, L"\\marlow.exe"));
    FUZZ_CHECK(MarlowUpgradePath(probe) == followedBy(marlowDir, L"\\upgrade.exe"));
    const std::wstring local = MarlowUpgradeInLocalAppData(olderDir);
    FUZZ_CHECK(local.empty() == olderDir.empty());
    const std::wstring upgrade = L"orvane\\marlow\\upgrade.exe";
    FUZZ_CHECK(local.empty() || (local.size() >= upgrade.size() &&
                                 local.compare(local.size() - upgrade.size(), upgrade.size(),
                                               upgrade) == 0));

    const std::wstring suite = SuiteDirectoryOf(modulePath);
    FUZZ_CHECK(suite.empty() || (suite.back() == L'\\' && modulePath.rfind(suite, 0) == 0 &&
                                 modulePath.find(L'\\', suite.size()) == std::wstring::npos));
    const bool present =
        files.count(suite + L"keldra.exe") > 0 ||
        (!mainDir.empty() && !mainExe.empty() && files.count(Joined(mainDir, mainExe)) > 0) ||
        (!olderDir.empty() && files.count(Joined(olderDir, L"Helvor3.exe")) > 0) ||
        EqualsNoCase(productKey, L"dayloomsetup") ||
        EqualsNoCase(productKey, L"dayloomsetup_silent") ||
        EqualsNoCase(productKey, L"pinnacesetup") ||
        EqualsNoCase(productKey, L"pinnacesetup_silent");
    FUZZ_CHECK(MainProgramPresent(suite, productKey, probe) == present);

    // The calendar's staged package: the upgrade folder and one plain name, or nothing.
    const std::wstring staged = StagedCalendarPackage(suite, productKey);
    const std::wstring folder = suite + L"\\upgrade\\";
    if (!staged.empty()) {
        FUZZ_CHECK(staged == folder + productKey);
        for (wchar_t c : productKey) {
            FUZZ_CHECK(c >= 0x20 && c < 0x7F && c != L'\\' && c != L'/' && c != L':');
        }
    }
    return 0;
}
