// ManifestDocument on the system's MSXML 3.0 as the readers load it (raw fetched bytes): the root
// search and the node view that the portable readers walk.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "manifest/com_ptr_win.h"
#include "manifest/manifest_document_win.h"
#include "test_support.h"
#include "tests/publish/xml_view_cases.h"

namespace {

const std::string kUtf8Mark = "\xEF\xBB\xBF";

class ManifestDocumentTest : public ::testing::Test {
  protected:
    // Loads `bytes` as a fetched body and finds the root `rootName`.
    bool LoadRaw(const std::string& bytes, const std::wstring& rootName = L"UpdateList") {
        document_.SetRawBytes(true);
        document_.Load(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        document_.SetRootName(rootName);
        return document_.FindRoot();
    }

    // The names of the root's children, or "<failed>".
    std::vector<std::wstring> RootChildNames() const {
        std::vector<std::wstring> names;
        const auto root = document_.Root();
        if (!root || !ForEachChild(*root, [&](const ManifestNode&, const std::wstring& name) {
                names.push_back(name);
                return true;
            })) {
            names.push_back(L"<failed>");
        }
        return names;
    }

    ComApartment com_;
    ManifestDocument document_;
};

TEST_F(ManifestDocumentTest, NodesReadAsTheDomGivesThem) {
    ASSERT_TRUE(LoadRaw(kUtf8Mark +
                        "<UpdateList>\n"
                        "  <SystemSet><UpgradeType>1</UpgradeType></SystemSet>\n"
                        "  <!-- tools -->\n"
                        "  <Keldra><Name>Keldra <b>Pro</b></Name><version>6.1</version></Keldra>\n"
                        "  <tallix/>\n"
                        "</UpdateList>"));
    // Whitespace between elements is not a node; a comment is.
    EXPECT_EQ(RootChildNames(),
              (std::vector<std::wstring>{L"SystemSet", L"#comment", L"Keldra", L"tallix"}));
    const auto root = document_.Root();
    const auto keldra = root->Child(2);
    ASSERT_NE(keldra, nullptr);
    std::wstring text;
    ASSERT_TRUE(keldra->Text(text));
    EXPECT_EQ(text, L"Keldra Pro6.1");  // the text of every descendant, joined
    ASSERT_TRUE(keldra->Child(0)->Text(text));
    EXPECT_EQ(text, L"Keldra Pro");
    std::size_t count = 0;
    ASSERT_TRUE(root->Child(3)->ChildCount(count));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(root->Child(4), nullptr);  // past the end
}

TEST_F(ManifestDocumentTest, EachLoadReplacesTheDocument) {
    ASSERT_TRUE(LoadRaw(kUtf8Mark + "<UpdateList><first/></UpdateList>"));
    EXPECT_EQ(RootChildNames(), std::vector<std::wstring>{L"first"});
    ASSERT_TRUE(LoadRaw(kUtf8Mark + "<TallixSet><second/></TallixSet>", L"TallixSet"));
    EXPECT_EQ(RootChildNames(), std::vector<std::wstring>{L"second"});
    // A body that does not parse leaves nothing of the previous document.
    ASSERT_TRUE(LoadRaw("garbage", L"TallixSet"));
    EXPECT_TRUE(RootChildNames().empty());
    document_.Clear();
    EXPECT_EQ(document_.Root(), nullptr);
    EXPECT_FALSE(document_.FindRoot());
}

// The walks that the publisher's tool reproduces with its own parser (tests/publish).
TEST_F(ManifestDocumentTest, WalksThePublishersToolReproduces) {
    for (const auto& c : xml_view_cases::Cases()) {
        ASSERT_TRUE(LoadRaw(c.bytes, c.root)) << c.what;
        const auto root = document_.Root();
        ASSERT_NE(root, nullptr) << c.what;
        EXPECT_EQ(WideToUtf8(xml_view_cases::Walk(*root)), WideToUtf8(c.walk)) << c.what;
    }
}

// A manifest with a document type declaration is not parsed: its entities would otherwise be
// expanded into entries (the component under Wine does that even with DTDs prohibited), past the
// size of one read, or name a local file.
TEST_F(ManifestDocumentTest, DocumentTypeDeclarationsLeaveAnEmptyRoot) {
    const TempFolder folder;
    const std::wstring secret = folder.Path() + L"secret.txt";
    WriteAll(secret, "the text of a local file");
    std::string laughs = "<!ENTITY a0 \"" + std::string(200, 'x') + "\">";
    for (int i = 1; i < 8; ++i) {
        laughs += "<!ENTITY a" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k) {
            laughs += "&a" + std::to_string(i - 1) + ";";
        }
        laughs += "\">";
    }
    const struct {
        const char* what;
        std::string dtd;
        std::string body;
    } cases[] = {
        {"entries from an entity", "<!ENTITY e \"<keldra><version>9.9.9.9</version></keldra>\">",
         "&e;&e;"},
        {"an external entity", "<!ENTITY x SYSTEM \"" + WideToUtf8(secret) + "\">",
         "<keldra><name>&x;</name></keldra>"},
        {"an expansion past one read", laughs, "<keldra><name>&a7;</name></keldra>"},
    };
    for (const auto& c : cases) {
        for (const std::string& prolog :
             {std::string("<?xml version=\"1.0\"?>\n<!-- a -->\n"), std::string()}) {
            ASSERT_TRUE(LoadRaw(kUtf8Mark + prolog + "<!DOCTYPE UpdateList [" + c.dtd +
                                "]><UpdateList>" + c.body + "</UpdateList>"))
                << c.what;
            EXPECT_TRUE(RootChildNames().empty()) << c.what;
        }
    }
    // The same entries without a DTD are read.
    ASSERT_TRUE(LoadRaw(kUtf8Mark + "<!-- <!DOCTYPE in a comment --><UpdateList><keldra/>"
                                    "</UpdateList>"));
    EXPECT_EQ(RootChildNames(), std::vector<std::wstring>{L"keldra"});
}

}  // namespace
