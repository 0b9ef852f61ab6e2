#include "manifest/version.h"

#include <gtest/gtest.h>

namespace {

TEST(IsNewer, ComparisonTable) {
    struct Case {
        const wchar_t* current;
        const wchar_t* candidate;
        bool newer;
    };
    const Case cases[] = {
        {L"6.0.0.0", L"6.0.0.1", true},
        {L"6.0.0.1", L"6.0.0.0", false},
        {L"", L"1.0.0.0", false},
        {L"1.0.0.0", L"", false},
        {L"", L"", false},
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
        {L"1.0.3.2", L"1.0.3.10", true},
        {L"9999.9999.9999.9999", L"10000.0.0.0", true},
        {L"10.0.0.0", L"9.9.9.9", false},
        {L"5", L"6", true},
        {L"6", L"5.9", false},
        {L"1.2.3", L"1.2.3.4", false},  // "3" vs "3.4": compared as 3 and 3
        {L"01.0.0.0", L"1.0.0.1", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsNewer(c.current, c.candidate), c.newer)
            << "current " << ::testing::PrintToString(std::wstring(c.current)) << " candidate "
            << ::testing::PrintToString(std::wstring(c.candidate));
    }
}

TEST(IsNewer, VersionSixThresholdNeedsMoreThanSixZero) {
    EXPECT_FALSE(IsNewer(kVersion6Threshold, L"6.0.0.0"));
    EXPECT_TRUE(IsNewer(kVersion6Threshold, L"6.0.0.1"));
    EXPECT_TRUE(IsNewer(kVersion6Threshold, L"7.0.0.0"));
    EXPECT_FALSE(IsNewer(kVersion6Threshold, L"5.9.9.9"));
}

TEST(FormatVersion, HighHalfFirstWithoutLeadingZeros) {
    EXPECT_EQ(FormatVersion(0x00060000, 0x00000001), L"6.0.0.1");
    EXPECT_EQ(FormatVersion(0x0003000A, 0x00020011), L"3.10.2.17");
    EXPECT_EQ(FormatVersion(0xFFFFFFFF, 0xFFFFFFFF), L"65535.65535.65535.65535");
}

TEST(LeadingInt, ReadsLikeTheCRuntime) {
    EXPECT_EQ(LeadingInt(L""), 0);
    EXPECT_EQ(LeadingInt(L"abc"), 0);
    EXPECT_EQ(LeadingInt(L"12abc"), 12);
    EXPECT_EQ(LeadingInt(L"  7"), 7);
    EXPECT_EQ(LeadingInt(L"-3"), -3);
    EXPECT_EQ(LeadingInt(L"99999999999"), 2147483647);
}

}  // namespace
