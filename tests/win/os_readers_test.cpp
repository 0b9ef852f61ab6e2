#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <sstream>

#include "report/os_code.h"
#include "report/os_description.h"
#include "test_support.h"

namespace {

struct Probe {
    int code = -1;
    std::string description;
};

Probe RunProbe() {
    const ProcessOutput out = RunAndCapture(L"\"" + TestProgramPath() + L"\" --os-probe");
    Probe probe;
    std::istringstream lines(out.output);
    std::string code;
    if (out.started && std::getline(lines, code) && std::getline(lines, probe.description)) {
        probe.code = std::atoi(code.c_str());
    }
    if (!probe.description.empty() && probe.description.back() == '\r') {
        probe.description.pop_back();
    }
    return probe;
}

// Each case makes the prefix look like one Windows release: the version Wine reports to new
// processes, and the values a real system of that release keeps in the registry.
struct Release {
    const char* name;
    const wchar_t* wineVersion;  // nullptr: no override (Wine's own Windows 7 workstation)
    const wchar_t* currentVersion;
    std::optional<DWORD> majorVersionNumber;
    const wchar_t* buildNumber;
    int code;
    const char* descriptionStart;
    const char* descriptionEnd;
};

const wchar_t kWineKey[] = L"Software\\Wine";
const wchar_t kCurrentVersionKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

TEST(OsReaders, ReleasesAsWineReportsThem) {
    const Release releases[] = {
        {"XP", L"winxp", L"5.1", std::nullopt, L"2600", 13, "Windows XP Professional",
         " (Build 2600)"},
        {"7", nullptr, L"6.1", std::nullopt, L"7601", 23, "Windows 7 ", " (Build 7601), 64-bit"},
        // The release after 6.2 told by the registry (its other values: the portable tests).
        {"10", L"win10", L"6.3", 10u, L"19045", 31, "Windows 10 ", " (Build 19045), 64-bit"}};
    for (const Release& r : releases) {
        SCOPED_TRACE(r.name);
        ScopedRegistryValue version(HKEY_CURRENT_USER, kWineKey, L"Version");
        ScopedRegistryValue current(HKEY_LOCAL_MACHINE, kCurrentVersionKey, L"CurrentVersion");
        ScopedRegistryValue major(HKEY_LOCAL_MACHINE, kCurrentVersionKey,
                                  L"CurrentMajorVersionNumber");
        ScopedRegistryValue build(HKEY_LOCAL_MACHINE, kCurrentVersionKey, L"CurrentBuildNumber");
        if (r.wineVersion != nullptr) {
            version.SetString(r.wineVersion);
        } else {
            version.Remove();
        }
        current.SetString(r.currentVersion);
        if (r.majorVersionNumber) {
            major.SetDword(*r.majorVersionNumber);
        } else {
            major.Remove();
        }
        build.SetString(r.buildNumber);

        const Probe probe = RunProbe();
        EXPECT_EQ(probe.code, r.code);
        EXPECT_EQ(probe.description.rfind(r.descriptionStart, 0), 0u) << probe.description;
        const std::string end = r.descriptionEnd;
        ASSERT_GE(probe.description.size(), end.size()) << probe.description;
        EXPECT_EQ(probe.description.substr(probe.description.size() - end.size()), end)
            << probe.description;
    }
}

}  // namespace
