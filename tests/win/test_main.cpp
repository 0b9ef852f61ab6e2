// Entry of the Windows test program. Started with "--os-probe" it prints what the system
// readers of the updater see and ends: the version tests start it as a child process because
// Wine fixes the reported Windows version when a process starts.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "base/os_code.h"
#include "report/os_description.h"
#include "test_support.h"

namespace {

// A child that hangs after its first line: it is ended at its time limit, and what it wrote
// before is kept.
TEST(ChildRun, HungChildIsEndedAtItsTimeLimit) {
    const ChildRun run = RunThisProgramFor(
        L"--gtest_filter=ChildRun.DISABLED_Hangs --gtest_also_run_disabled_tests", 5000);
    EXPECT_FALSE(run.ended);
    EXPECT_NE(run.output.find("hanging"), std::string::npos) << run.output;
}

TEST(ChildRun, DISABLED_Hangs) {
    std::fputs("hanging\n", stdout);
    std::fflush(stdout);
    Sleep(120000);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && std::wstring(argv[1]) == L"--os-probe") {
        const std::string text =
            std::to_string(GetOsCode()) + "\n" + WideToUtf8(DescribeOs()) + "\n";
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
