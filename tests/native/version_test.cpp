#include "manifest/version.h"

#include <gtest/gtest.h>

namespace {

TEST(IsNewer, ComparisonTable) {
    struct Case {
        const wchar_t* current;
        const wchar_t* candidate;
        bool newer;
    };
    const Case cases[] = {{L"6.0.0.0", L"6.0.0.1", true},
                          {L"6.0.0.1", L"6.0.0.0", false},
                          {L"", L"1.0.0.0", false},
                          {L"1.0.0.0", L"", false},
                          {L"1.9.0.0", L"1.10.0.0", true},
                          {L"1.10.0.0", L"1.9.0.0", false},
                          {L"6.0", L"6.0.1", false},
                          {L"6.0.0.0", L"6.1", true},
                          {L"6.0.0.0", L"6.0.0.0.1", false},
                          {L"2.0.0.0", L"2.0.0.0beta", false},
                          {L"2.0.0.0", L"2.0.0.1beta", true},
                          {L"3.0.0.0", L"3.0.0.0", false},
                          {L"1.0.0.0A", L"1.0.0.0a", false},
                          {L"x.0.0.0", L"1.0.0.0", true},  // a non-numeric field reads 0
                          {L"1.0.0.0", L"1.x.0.0", false},
                          {L"10.0.0.0", L"9.9.9.9", false},
                          {L"6", L"5.9", false},
                          {L"1.2.3", L"1.2.3.4", false},  // "3" vs "3.4": compared as 3 and 3
                          {L"01.0.0.0", L"1.0.0.1", true},
                          // A pretty-printed manifest value keeps its line breaks and indentation.
                          {L"6.0.0.1", L"\n\t\t6.0.0.2\n\t", true},
                          {L"\r\n\t7.0.0.0", L"6.0.0.0", false},
                          {L"6.0.0.0", L"6.0.0.\t1", true}};
    for (const Case& c : cases) {
        EXPECT_EQ(IsNewer(c.current, c.candidate), c.newer)
            << "current " << ::testing::PrintToString(std::wstring(c.current)) << " candidate "
            << ::testing::PrintToString(std::wstring(c.candidate));
    }
}

TEST(FormatVersion, HighHalfFirstWithoutLeadingZeros) {
    EXPECT_EQ(FormatVersion(0x0003000A, 0x00020011), L"3.10.2.17");
    EXPECT_EQ(FormatVersion(0xFFFFFFFF, 0xFFFFFFFF), L"65535.65535.65535.65535");
}

TEST(LeadingInt, ReadsLikeTheCRuntime) {
    const std::pair<const wchar_t*, int> cases[] = {{L"", 0},
                                                    {L"abc", 0},
                                                    {L"12abc", 12},
                                                    {L" \t\r\n7", 7},
                                                    {L"-3", -3},
                                                    {L"+4", 4},
                                                    {L"99999999999", 2147483647},
                                                    {L"-99999999999", -2147483647 - 1}};
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(LeadingInt(text), value) << ::testing::PrintToString(std::wstring(text));
    }
}

}  // namespace
