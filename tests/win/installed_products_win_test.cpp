// Installed products on this machine: version resources of real executables and the suite's
// registry values, read through the same lookups the updater uses.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "manifest/file_version_win.h"
#include "manifest/installed_products.h"
#include "manifest/machine_win.h"
#include "test_support.h"

namespace {

TEST(FileVersions, ProductVersionOfTheStubPrograms) {
    REQUIRE_TEST_RUN();
    const TempFolder empty;
    const struct {
        std::wstring folder;
        const wchar_t* productVersion;
        const wchar_t* fileVersion;
    } cases[] = {
        {StubFolder("keldra-5.9.2.1"), L"5.9.2.1", L"7.0.0.0"},
        {StubFolder("keldra-6.0.0.0"), L"6.0.0.0", L"6.0.0.9"},
        {StubFolder("keldra-6.0.0.1"), L"6.0.0.1", L"1.0.0.0"},
        {StubFolder("keldra-unversioned"), L"", L""},
        {empty.Path(), L"", L""},  // no keldra.exe at all
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.folder));
        EXPECT_EQ(FileProductVersion(c.folder + L"keldra.exe"), c.productVersion);
        EXPECT_EQ(FileFileVersion(c.folder + L"keldra.exe"), c.fileVersion);
    }
}

const wchar_t kCalendarKey[] = L"Software\\Orvane\\Dayloom";
const wchar_t kMarlowKey[] = L"Software\\Orvane\\Marlow";
const wchar_t kMainProgramKey[] = L"Software\\Orvane\\Keldra";

// The keys, the joining of paths and the rules are pinned by the portable tests; here the
// registry itself: a string value is read, a value of another type or none reads as missing; and
// the machine's own keys.
TEST(ProductRegistry, ValuesAreReadThroughTheLookups) {
    REQUIRE_TEST_RUN();
    const ProductProbe probe = WindowsProductProbe();
    ASSERT_EQ(probe.wow64, ExpectedWow64());
    ScopedRegistryValue calendarDir(HKEY_CURRENT_USER, kCalendarKey, L"Install_Dir");
    ScopedRegistryValue marlowDir(HKEY_CURRENT_USER, kMarlowKey, L"Install_NewPath");
    calendarDir.SetString(L"C:\\Program Files\\Orvane\\日历");
    marlowDir.SetString(L"C:\\Marlow");
    EXPECT_EQ(CalendarExecutablePath(probe), L"C:\\Program Files\\Orvane\\日历\\dayloom.exe");
    EXPECT_EQ(MarlowUpgradePath(probe), L"C:\\Marlow\\upgrade.exe");
    calendarDir.SetDword(1);
    EXPECT_EQ(CalendarExecutablePath(probe), L"");
    marlowDir.Remove();
    EXPECT_EQ(MarlowExecutablePath(probe), L"");

    const TempFolder suite;  // no keldra.exe beside the updater
    const std::wstring stubDir = StubFolder("keldra-6.0.0.1");
    // Written as the suite's installer writes it: a 32-bit program writes its own view, which on
    // a 64-bit system is below "Wow6432Node" (where the updater looks under WOW64). A 64-bit
    // build of the updater stands for a 64-bit installer.
    const REGSAM installerView = sizeof(void*) == 4 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    ScopedRegistryValue mainDir(HKEY_LOCAL_MACHINE, kMainProgramKey, L"Install_Dir", installerView);
    ScopedRegistryValue mainExe(HKEY_LOCAL_MACHINE, kMainProgramKey, L"ExeName", installerView);
    mainDir.Remove();
    mainExe.Remove();
    EXPECT_FALSE(MainProgramPresent(suite.Path(), L"keldra", probe));
    mainDir.SetString(stubDir.substr(0, stubDir.size() - 1));
    mainExe.SetString(L"keldra.exe");
    EXPECT_TRUE(MainProgramPresent(suite.Path(), L"keldra", probe));
}

}  // namespace
