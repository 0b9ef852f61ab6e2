// The publisher's XML reader gives the walks that the updater's reader gives (the same table runs
// under Wine against the system's component).
#include <gtest/gtest.h>

#include "tests/publish/xml_view_cases.h"
#include "tools/publish/xml_view.h"

namespace {

TEST(ManifestXml, WalksAsTheUpdatersReader) {
    for (const auto& c : xml_view_cases::Cases()) {
        ManifestXml xml;
        xml.Load(std::vector<unsigned char>(c.bytes.begin(), c.bytes.end()), c.root);
        EXPECT_EQ(Utf16ToUtf8(xml_view_cases::Walk(*xml.Root())), Utf16ToUtf8(c.walk)) << c.what;
    }
}

}  // namespace

namespace {

// A manifest is hostile: nesting as deep as it likes is read without recursion (140,000 levels
// overflowed the stack once).
TEST(ManifestXml, DeepNestingIsReadWithoutOverflow) {
    const std::size_t depth = 140000;
    std::string a;
    for (std::size_t i = 0; i < depth; ++i)
        a += "<a>";
    a += "x";
    for (std::size_t i = 0; i < depth; ++i)
        a += "</a>";
    const std::string body =
        "\xEF\xBB\xBF<UpdateList><keldra><name>" + a + "</name></keldra></UpdateList>";
    ManifestXml xml;
    xml.Load(std::vector<unsigned char>(body.begin(), body.end()), kUpgradeRootName);
    ASSERT_TRUE(xml.Parsed());
    std::wstring text;
    ASSERT_TRUE(xml.Root()->Child(0)->Child(0)->Text(text));
    EXPECT_EQ(text, L"x");
    EXPECT_EQ(xml.LineOf(*xml.Root()->Child(0)), 1u);
}

}  // namespace
