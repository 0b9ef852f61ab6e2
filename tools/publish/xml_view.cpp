#include "tools/publish/xml_view.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstring>

#include "manifest/manifest_text.h"

namespace {

// XML's white space.
bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r';
}

std::wstring Trim(const std::wstring& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::wstring Wide(const char* utf8) {
    return Utf8ToUtf16(utf8 == nullptr ? "" : utf8);
}

// One piece of an element's text: a text node (its outer blanks count only as a separator) or a
// CDATA section (taken as it is).
struct TextPiece {
    std::wstring text;
    bool cdata = false;
};

// The text pieces below `node` in document order. The walk keeps no stack of its own making:
// manifests are hostile, and a recursion as deep as their nesting would overflow the stack.
void CollectText(const pugi::xml_node& node, std::vector<TextPiece>& pieces) {
    pugi::xml_node at = node.first_child();
    while (at) {
        if (at.type() == pugi::node_element && at.first_child()) {
            at = at.first_child();
            continue;
        }
        if (at.type() == pugi::node_pcdata) {
            pieces.push_back({Wide(at.value()), false});
        } else if (at.type() == pugi::node_cdata) {
            pieces.push_back({Wide(at.value()), true});
        }  // comments and processing instructions are not text
        while (at != node && !at.next_sibling())
            at = at.parent();
        if (at == node)
            break;
        at = at.next_sibling();
    }
}

// The system component's text of an element: its text pieces joined as they are, except that
// the first loses its leading blanks and the last its trailing ones (" a <b> b </b> c " reads
// "a  b  c"); CDATA keeps every blank. Whitespace-only text is no node and adds nothing.
std::wstring ElementText(const pugi::xml_node& node) {
    std::vector<TextPiece> pieces;
    CollectText(node, pieces);
    std::vector<TextPiece> kept;
    for (const TextPiece& piece : pieces) {
        if (piece.cdata || !Trim(piece.text).empty())
            kept.push_back(piece);
    }
    std::wstring out;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        std::wstring text = kept[i].text;
        if (!kept[i].cdata) {
            std::size_t begin = 0;
            std::size_t end = text.size();
            if (out.empty()) {
                while (begin < end && IsBlank(text[begin]))
                    ++begin;
            }
            if (i + 1 == kept.size()) {
                while (end > begin && IsBlank(text[end - 1]))
                    --end;
            }
            text = text.substr(begin, end - begin);
        }
        out += text;
    }
    return out;
}

class PugiNodeView final : public ManifestNode {
  public:
    explicit PugiNodeView(pugi::xml_node node) : node_(node) {
        for (const pugi::xml_node& child : node_.children()) {
            if (child.type() == pugi::node_pcdata && Trim(Wide(child.value())).empty()) {
                continue;  // whitespace between elements is no node
            }
            if (child.type() == pugi::node_element || child.type() == pugi::node_pcdata ||
                child.type() == pugi::node_cdata || child.type() == pugi::node_comment ||
                child.type() == pugi::node_pi) {
                children_.push_back(child);
            }
        }
    }

    bool Name(std::wstring& name) const override {
        switch (node_.type()) {
            case pugi::node_pcdata:
                name = L"#text";
                break;
            case pugi::node_cdata:
                name = L"#cdata-section";
                break;
            case pugi::node_comment:
                name = L"#comment";
                break;
            default:
                name = Wide(node_.name());
                break;
        }
        return true;
    }

    bool Text(std::wstring& text) const override {
        switch (node_.type()) {
            case pugi::node_element:
                text = ElementText(node_);
                break;
            case pugi::node_pcdata:
                text = Trim(Wide(node_.value()));
                break;
            default:
                text = Wide(node_.value());
                break;
        }
        return true;
    }

    bool ChildCount(std::size_t& count) const override {
        count = children_.size();
        return true;
    }

    std::unique_ptr<ManifestNode> Child(std::size_t index) const override {
        if (index >= children_.size())
            return nullptr;
        return std::make_unique<PugiNodeView>(children_[index]);
    }

    std::ptrdiff_t Offset() const { return node_.offset_debug(); }

  private:
    pugi::xml_node node_;
    std::vector<pugi::xml_node> children_;
};

// The empty element that stands for a missing root.
class EmptyRoot final : public ManifestNode {
  public:
    explicit EmptyRoot(std::wstring name) : name_(std::move(name)) {}
    bool Name(std::wstring& name) const override {
        name = name_;
        return true;
    }
    bool Text(std::wstring& text) const override {
        text.clear();
        return true;
    }
    bool ChildCount(std::size_t& count) const override {
        count = 0;
        return true;
    }
    std::unique_ptr<ManifestNode> Child(std::size_t) const override { return nullptr; }

  private:
    std::wstring name_;
};

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.' ||
           c == ':' || static_cast<unsigned char>(c) >= 0x80;
}

// Where the markup that starts at `at` ends when "&" inside it is no reference: a comment, a
// CDATA section, a processing instruction or the document type declaration (with its internal
// subset); `at` itself when no such markup starts there.
std::size_t EndOfUnparsedMarkup(const std::string& text, std::size_t at) {
    auto after = [&](const char* close) {
        const std::size_t end = text.find(close, at);
        return end == std::string::npos ? text.size() : end + std::strlen(close);
    };
    if (text.compare(at, 4, "<!--") == 0)
        return after("-->");
    if (text.compare(at, 9, "<![CDATA[") == 0)
        return after("]]>");
    if (text.compare(at, 2, "<?") == 0)
        return after("?>");
    if (text.compare(at, 9, "<!DOCTYPE") == 0) {
        const std::size_t subset = text.find('[', at);
        return subset < text.find('>', at) ? after("]>") : after(">");
    }
    return at;
}

// Offset of the first "&" that starts no reference the parser knows (a character reference or
// one of XML's five entities; a manifest has no DTD to declare others), or npos. pugixml passes
// such text on unchanged; the system's component refuses the document. One pass over the text.
std::size_t FirstBadReference(const std::string& text) {
    static const char* const kPredefined[] = {"amp", "lt", "gt", "quot", "apos"};
    for (std::size_t at = text.find_first_of("<&"); at != std::string::npos;
         at = text.find_first_of("<&", at)) {
        if (text[at] == '<') {
            const std::size_t end = EndOfUnparsedMarkup(text, at);
            at = end == at ? at + 1 : end;
            continue;
        }
        std::size_t end = at + 1;
        if (end < text.size() && text[end] == '#') {
            ++end;
            const bool hex = end < text.size() && text[end] == 'x';
            if (hex)
                ++end;
            const std::size_t digits = end;
            while (end < text.size() &&
                   (hex ? std::isxdigit(static_cast<unsigned char>(text[end]))
                        : std::isdigit(static_cast<unsigned char>(text[end])))) {
                ++end;
            }
            if (end == digits || end >= text.size() || text[end] != ';')
                return at;
            at = end;
            continue;
        }
        while (end < text.size() && IsNameChar(text[end]))
            ++end;
        if (end >= text.size() || text[end] != ';')
            return at;
        const std::string name = text.substr(at + 1, end - at - 1);
        if (std::find(std::begin(kPredefined), std::end(kPredefined), name) ==
            std::end(kPredefined))
            return at;
        at = end;
    }
    return std::string::npos;
}

// Offset of the first character XML does not allow (a C0 control other than tab, line feed and
// carriage return) in a name or value of the document, or npos. The parser lets them pass, raw
// or referred to; the system's component refuses the document.
std::size_t FirstForbiddenCharacter(const pugi::xml_document& document) {
    auto forbidden = [](const char* text) {
        for (; *text != '\0'; ++text) {
            const unsigned char c = static_cast<unsigned char>(*text);
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
                return true;
        }
        return false;
    };
    pugi::xml_node at = document.first_child();
    while (at) {
        bool bad = forbidden(at.name()) || forbidden(at.value());
        for (const pugi::xml_attribute& a : at.attributes())
            bad = bad || forbidden(a.name()) || forbidden(a.value());
        if (bad)
            return static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, at.offset_debug()));
        if (at.first_child()) {
            at = at.first_child();
            continue;
        }
        while (at && !at.next_sibling())
            at = at.parent();
        if (at)
            at = at.next_sibling();
    }
    return std::string::npos;
}

}  // namespace

std::string Utf16ToUtf8(const std::wstring& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = static_cast<std::uint32_t>(text[i]) & 0xFFFF;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
            (static_cast<std::uint32_t>(text[i + 1]) & 0xFC00) == 0xDC00) {
            c = 0x10000 + ((c - 0xD800) << 10) +
                ((static_cast<std::uint32_t>(text[i + 1]) & 0x3FF));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::wstring Utf8ToUtf16(const std::string& text) {
    // The updater's decoding after a UTF-8 mark is the one conversion of the project.
    std::vector<unsigned char> bytes(3 + text.size());
    bytes[0] = 0xEF;
    bytes[1] = 0xBB;
    bytes[2] = 0xBF;
    std::copy(text.begin(), text.end(), bytes.begin() + 3);
    std::wstring out;
    // The decoding stops at a NUL; text from the parser never holds one.
    out = DecodeManifestBytes(bytes);
    return out;
}

struct ManifestXml::Impl {
    pugi::xml_document document;
};

ManifestXml::ManifestXml() : impl_(std::make_unique<Impl>()) {}
ManifestXml::~ManifestXml() = default;

void ManifestXml::Load(const std::vector<unsigned char>& bytes, const std::wstring& rootName) {
    impl_->document.reset();
    rootName_ = rootName;
    parsed_ = false;
    rootFound_ = false;
    error_.clear();
    errorLine_ = 0;
    text_ = DecodeManifestBytes(bytes);
    utf8_ = Utf16ToUtf8(text_);
    const std::string& utf8 = utf8_;

    // The text is already decoded: whatever the declaration says, it is read as UTF-8.
    const unsigned options = pugi::parse_default | pugi::parse_comments | pugi::parse_pi |
                             pugi::parse_declaration | pugi::parse_doctype;
    const pugi::xml_parse_result result =
        impl_->document.load_buffer(utf8.data(), utf8.size(), options, pugi::encoding_utf8);
    std::size_t errorOffset = std::string::npos;
    if (HasDocumentTypeDeclaration(text_)) {
        // The updater reads no manifest with a document type declaration (and so no entity).
        error_ = "a document type declaration, which the updater refuses";
        std::string lower(utf8);
        std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
            return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        });
        errorOffset = lower.find("<!doctype");
    } else if (!result) {
        error_ = result.description();
        errorOffset = static_cast<std::size_t>(result.offset);
    } else {
        // What pugixml lets pass and the system's component does not.
        std::size_t elements = 0;
        for (const pugi::xml_node& top : impl_->document.children()) {
            if (top.type() == pugi::node_element)
                ++elements;
            if (top.type() == pugi::node_pcdata) {
                error_ = "text outside the root element";
                errorOffset = static_cast<std::size_t>(top.offset_debug());
            }
        }
        // A declared encoding other than UTF-8 or UTF-16 makes the component read the text's
        // characters again in that encoding, and text beyond ASCII then no longer parses.
        const pugi::xml_node declaration = impl_->document.first_child();
        const std::string encoding = declaration.type() == pugi::node_declaration
                                         ? declaration.attribute("encoding").as_string()
                                         : "";
        std::string lower;
        for (const char c : encoding)
            lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const bool nonAscii = std::any_of(
            utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
        if (!lower.empty() && lower != "utf-8" && lower != "utf8" && lower != "utf-16" &&
            nonAscii) {
            error_ = "the declared encoding " + encoding + " re-reads the text";
            errorOffset = 0;
        }
        if (error_.empty() && elements != 1) {
            error_ = elements == 0 ? "no root element" : "more than one root element";
            errorOffset = utf8.size();
        }
        const std::size_t bad = FirstBadReference(utf8);
        if (error_.empty() && bad != std::string::npos) {
            error_ = "unknown entity or stray \"&\"";
            errorOffset = bad;
        }
        const std::size_t forbidden = FirstForbiddenCharacter(impl_->document);
        if (error_.empty() && forbidden != std::string::npos) {
            error_ = "a control character XML does not allow";
            errorOffset = forbidden;
        }
    }
    lineStarts_.assign(1, 0);
    for (std::size_t at = utf8.find('\n'); at != std::string::npos; at = utf8.find('\n', at + 1))
        lineStarts_.push_back(at + 1);
    if (!error_.empty()) {
        impl_->document.reset();
        errorLine_ = LineAtOffset(std::min(errorOffset, utf8.size()));
        return;
    }
    parsed_ = true;
    const pugi::xml_node top = impl_->document.document_element();
    rootFound_ = Wide(top.name()) == rootName_;
}

std::unique_ptr<ManifestNode> ManifestXml::Root() const {
    if (rootFound_) {
        return std::make_unique<PugiNodeView>(impl_->document.document_element());
    }
    return std::make_unique<EmptyRoot>(rootName_);
}

std::size_t ManifestXml::LineOf(const ManifestNode& node) const {
    const auto* view = dynamic_cast<const PugiNodeView*>(&node);
    if (view == nullptr || view->Offset() < 0 ||
        static_cast<std::size_t>(view->Offset()) > utf8_.size()) {
        return 0;
    }
    return LineAtOffset(static_cast<std::size_t>(view->Offset()));
}

std::size_t ManifestXml::LineAtOffset(std::size_t offset) const {
    return static_cast<std::size_t>(
        std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset) - lineStarts_.begin());
}
