// The command line: any text splits into trimmed, lower-case, dash-free words, the first of which
// is the product key, and reading the same line twice gives the same options.
#include "base/command_line.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

bool SameOptions(const SessionOptions& a, const SessionOptions& b) {
    return a.commandLine == b.commandLine && a.productKey == b.productKey &&
           a.suiteCaller == b.suiteCaller && a.silent == b.silent && a.notice == b.notice &&
           a.noticeWindow == b.noticeWindow && a.resetNew == b.resetNew && a.enforce == b.enforce &&
           a.execute == b.execute && a.directRunInterface == b.directRunInterface &&
           a.noRun == b.noRun && a.toolCodeGiven == b.toolCodeGiven && a.toolCode == b.toolCode &&
           a.installPackage == b.installPackage && a.requestedVersion == b.requestedVersion &&
           a.fromValue == b.fromValue && a.fromCalendar == b.fromCalendar &&
           a.guardUpgrade == b.guardUpgrade && a.guardX64 == b.guardX64;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = fuzz::Widen(std::string(reinterpret_cast<const char*>(data), size));
    const std::vector<std::wstring> words = SplitSwitchWords(text);
    for (const std::wstring& word : words) {
        FUZZ_CHECK(word.find(L'-') == std::wstring::npos);
        FUZZ_CHECK(word.empty() || (word.front() != L' ' && word.back() != L' '));
        for (wchar_t c : word) {
            FUZZ_CHECK(!fuzz::IsAsciiUpper(c));
        }
    }
    const int osCode = size > 0 ? data[0] % 40 : 0;
    SessionOptions options;
    options.commandLine = L"tallix.exe " + text;
    ParseCommandLine(text, options, [osCode] { return osCode; });
    const std::wstring first = words.empty() ? L"" : words.front();
    FUZZ_CHECK(options.productKey == first || options.productKey == L"marlowsetup_xp");
    ToolCodeFor(options.productKey);

    // "resetnew" edits the stored command line each time; everything else comes out the same.
    SessionOptions again = options;
    ParseCommandLine(text, again, [osCode] { return osCode; });
    again.commandLine = options.commandLine;
    FUZZ_CHECK(SameOptions(options, again));
    return 0;
}
