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
