// Entry of the Windows test program. Started with "--os-probe" it prints what the system
// readers of the updater see and ends: the version tests start it as a child process because
// Wine fixes the reported Windows version when a process starts.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "report/os_code.h"
#include "report/os_description.h"
#include "test_support.h"

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
