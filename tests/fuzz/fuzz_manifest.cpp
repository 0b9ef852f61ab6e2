// Manifest bytes through the decoding and each manifest reader. The decoded text is turned into a
// node tree by a small markup reader standing in for the XML component (elements, self-closing
// elements, comments, text), so that the fuzzer reaches the readers' logic and not only the
// decoder. An element whose start tag holds "failname", "failtext", "failcount" or "failchild"
// makes that accessor report the component's failure.
#include <memory>

#include "base/text.h"
#include "manifest/history.h"
#include "manifest/manifest_node.h"
#include "manifest/manifest_text.h"
#include "manifest/settings_manifest.h"
#include "manifest/update_list.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

struct Element {
    std::wstring name;
    std::wstring ownText;
    std::wstring fails;  // the start tag's text, searched for the failure words
    std::vector<std::unique_ptr<Element>> children;
};

class ElementView : public ManifestNode {
  public:
    explicit ElementView(const Element& e) : e_(e) {}
    bool Name(std::wstring& name) const override {
        name = e_.name;
        return !Fails(L"failname");
    }
    bool Text(std::wstring& text) const override {
        text.clear();
        Collect(e_, text);
        return !Fails(L"failtext");
    }
    bool ChildCount(std::size_t& count) const override {
        count = e_.children.size();
        return !Fails(L"failcount");
    }
    std::unique_ptr<ManifestNode> Child(std::size_t index) const override {
        if (Fails(L"failchild") || index >= e_.children.size()) {
            return nullptr;
        }
        return std::make_unique<ElementView>(*e_.children[index]);
    }

  private:
    bool Fails(const wchar_t* what) const { return e_.fails.find(what) != std::wstring::npos; }
    static void Collect(const Element& e, std::wstring& text) {
        text += e.ownText;
        for (const auto& child : e.children) {
            Collect(*child, text);
        }
    }
    const Element& e_;
};

bool IsBlank(const std::wstring& text) {
    return text.find_first_not_of(L" \t\r\n") == std::wstring::npos;
}

// Reads the markup into `root`'s children; the first top-level element becomes the root.
std::unique_ptr<Element> ReadMarkup(const std::wstring& text) {
    auto document = std::make_unique<Element>();
    std::vector<Element*> open = {document.get()};
    std::size_t at = 0;
    while (at < text.size()) {
        Element& current = *open.back();
        if (text[at] != L'<') {
            std::size_t end = text.find(L'<', at);
            end = end == std::wstring::npos ? text.size() : end;
            const std::wstring piece = text.substr(at, end - at);
            current.ownText += IsBlank(piece) ? L"" : piece;
            at = end;
            continue;
        }
        if (text.compare(at, 4, L"<!--") == 0) {
            std::size_t end = text.find(L"-->", at + 4);
            end = end == std::wstring::npos ? text.size() : end;
            auto comment = std::make_unique<Element>();
            comment->name = L"#comment";
            comment->ownText = text.substr(at + 4, end - at - 4);
            current.children.push_back(std::move(comment));
            at = std::min(text.size(), end + 3);
            continue;
        }
        std::size_t end = text.find(L'>', at);
        end = end == std::wstring::npos ? text.size() : end;
        const std::wstring tag = text.substr(at + 1, end - at - 1);
        at = std::min(text.size(), end + 1);
        if (tag.empty() || tag[0] == L'?' || tag[0] == L'!') {
            continue;
        }
        if (tag[0] == L'/') {
            if (open.size() > 1) {
                open.pop_back();
            }
            continue;
        }
        auto element = std::make_unique<Element>();
        element->name = tag.substr(0, tag.find_first_of(L" \t\r\n/"));
        element->fails = tag;
        Element* added = element.get();
        current.children.push_back(std::move(element));
        if (tag.back() != L'/') {
            open.push_back(added);
        }
    }
    for (auto& child : document->children) {
        if (child->name != L"#comment") {
            return std::move(child);
        }
    }
    return std::make_unique<Element>();
}

// What a package name that passed the rule must never be: printable ASCII only (nothing a code
// page could turn into a separator), no separator, colon, wildcard, quote, pipe, bracket or "~".
bool LooksSafe(const std::wstring& name) {
    for (wchar_t c : name) {
        if (c < 0x20 || c > 0x7E) {
            return false;
        }
    }
    return !name.empty() && name != L"." && name != L".." &&
           name.find_first_of(L"\\/:*?\"<>|~") == std::wstring::npos && name.back() != L'.' &&
           name.back() != L' ';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = DecodeManifestBytes(data, size);
    FUZZ_CHECK(text.find(L'\0') == std::wstring::npos);
    FUZZ_CHECK(text.size() <= size);
    // UTF-8 decodes to whole surrogate pairs (UTF-16 units are copied as they come).
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto unit = static_cast<std::uint32_t>(text[i]);
            FUZZ_CHECK(unit < 0xDC00 || unit > 0xDFFF);
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                FUZZ_CHECK(++i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF);
            }
        }
    }
    // The decoded text, written again as marked UTF-16LE, reads back the same.
    std::vector<unsigned char> utf16 = {0xFF, 0xFE};
    for (wchar_t c : text) {
        FUZZ_CHECK(static_cast<std::uint32_t>(c) <= 0xFFFF);
        utf16.push_back(static_cast<unsigned char>(c & 0xFF));
        utf16.push_back(static_cast<unsigned char>((c >> 8) & 0xFF));
    }
    FUZZ_CHECK(DecodeManifestBytes(utf16) == text);

    const std::unique_ptr<Element> root = ReadMarkup(text);
    const ElementView view(*root);
    for (ManifestVariant variant : {ManifestVariant::kClassic, ManifestVariant::kVersion6}) {
        UpgradeReaderState state;
        state.downloadBase = L"http://127.0.0.1:20001";
        UpdateList list;
        const bool whole = ReadUpgradeManifest(view, variant, L"keldra", state, list);
        // One item per child other than "SystemSet", in order, tagged with its lower-cased name;
        // all of them when the walk was not cut short.
        std::vector<std::wstring> tags;
        for (const auto& child : root->children) {
            if (child->name != L"SystemSet") {
                tags.push_back(ToLowerAscii(child->name));
            }
        }
        FUZZ_CHECK(list.size() <= tags.size());
        FUZZ_CHECK(!whole || list.size() == tags.size());
        for (std::size_t i = 0; i < list.size(); ++i) {
            const UpdateItem* item = list[i].get();
            FUZZ_CHECK(item->tag == tags[i]);
            FUZZ_CHECK(item->fileName.find(L'/') == std::wstring::npos);
            if (IsSafePackageFileName(item->fileName)) {
                FUZZ_CHECK(LooksSafe(item->fileName));
                FUZZ_CHECK(item->fileName.size() <= kMaxPackagePath);
            } else {
                FUZZ_CHECK(item->nameRefused);
            }
            // Two names that one file system takes for one file are both refused.
            for (std::size_t j = 0; j < list.size(); ++j) {
                if (EqualsNoCase(list[j]->fileName, item->fileName) &&
                    list[j]->fileName != item->fileName) {
                    FUZZ_CHECK(item->nameRefused);
                }
            }
        }
    }
    UpdaterSettings settings;
    ReadSettingsManifest(view, settings);
    std::vector<HistoryRecord> records;
    ReadHistoryRecords(view, records);
    FUZZ_CHECK(records.size() <= root->children.size());
    return 0;
}
