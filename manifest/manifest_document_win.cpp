#include "manifest/manifest_document_win.h"

#include <climits>
#include <utility>

#include "manifest/manifest_text.h"

namespace {

// MSXML's DOMDocument30, the version-independent parser of MSXML 3.0.
constexpr CLSID kClsidDomDocument30 = {
    0xF5078F32, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};

// IXMLDOMDocument2, which carries the parser's properties (not in every import library).
constexpr IID kIidDomDocument2 = {
    0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// In-process server or handler, local or remote server: whichever the system offers.
constexpr DWORD kCreateContext =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

class DomNodeView final : public ManifestNode {
  public:
    explicit DomNodeView(ComPtr<IXMLDOMNode> node) : node_(std::move(node)) {}

    bool Name(std::wstring& name) const override {
        UniqueBstr text;
        if (FAILED(node_->get_nodeName(text.Put()))) {
            return false;
        }
        name = text.Text();
        return true;
    }

    bool Text(std::wstring& text) const override {
        UniqueBstr value;
        if (FAILED(node_->get_text(value.Put()))) {
            return false;
        }
        text = value.Text();
        return true;
    }

    bool ChildCount(std::size_t& count) const override {
        IXMLDOMNodeList* children = Children();
        long length = 0;
        if (children == nullptr || FAILED(children->get_length(&length)) || length < 0) {
            return false;
        }
        count = static_cast<std::size_t>(length);
        return true;
    }

    std::unique_ptr<ManifestNode> Child(std::size_t index) const override {
        IXMLDOMNodeList* children = Children();
        if (children == nullptr || index > static_cast<std::size_t>(LONG_MAX)) {
            return nullptr;
        }
        ComPtr<IXMLDOMNode> child;
        // S_FALSE with no node: the index lies beyond the list.
        if (children->get_item(static_cast<long>(index), child.Put()) != S_OK || !child) {
            return nullptr;
        }
        return std::make_unique<DomNodeView>(std::move(child));
    }

  private:
    // The child list, asked for once and kept.
    IXMLDOMNodeList* Children() const {
        if (!children_ && FAILED(node_->get_childNodes(children_.Put()))) {
            children_.Reset();
        }
        return children_.Get();
    }

    ComPtr<IXMLDOMNode> node_;
    mutable ComPtr<IXMLDOMNodeList> children_;
};

// UTF-16LE text of a buffer up to its first NUL unit; a last odd byte reads as a unit whose high
// byte is zero, as in the fetch's zero-padded copy.
std::wstring Utf16Text(const unsigned char* bytes, std::size_t count) {
    std::wstring text;
    for (std::size_t i = 0; bytes != nullptr && i < count; i += 2) {
        const unsigned high = i + 1 < count ? bytes[i + 1] : 0;
        const wchar_t unit = static_cast<wchar_t>(bytes[i] | (high << 8));
        if (unit == L'\0') {
            break;
        }
        text.push_back(unit);
    }
    return text;
}

// Manifests come over plain HTTP: a document type declaration could expand entities past the
// size of one read or pull in a local file or another address. The parser is told to refuse any
// DOCTYPE and to resolve nothing outside the text; a component that does not take both settings
// is not used at all.
bool ProhibitDocumentTypes(const ComPtr<IUnknown>& object) {
    const ComPtr<IXMLDOMDocument2> document = object.As<IXMLDOMDocument2>(kIidDomDocument2);
    if (!document) {
        return false;
    }
    VARIANT prohibit;
    VariantInit(&prohibit);
    prohibit.vt = VT_BOOL;
    prohibit.boolVal = VARIANT_TRUE;
    const UniqueBstr name(L"ProhibitDTD");
    return SUCCEEDED(document->setProperty(name.Get(), prohibit)) &&
           SUCCEEDED(document->put_resolveExternals(VARIANT_FALSE));
}

}  // namespace

std::unique_ptr<ManifestNode> ViewOfDomNode(ComPtr<IXMLDOMNode> node) {
    if (!node) {
        return nullptr;
    }
    return std::make_unique<DomNodeView>(std::move(node));
}

void ManifestDocument::Load(const unsigned char* bytes, std::size_t count) {
    Clear();
    ComPtr<IUnknown> object;
    if (FAILED(CoCreateInstance(kClsidDomDocument30, nullptr, kCreateContext, IID_IUnknown,
                                object.PutVoid())) ||
        FAILED(OleRun(object.Get()))) {
        return;
    }
    document_ = object.As<IXMLDOMDocument>(IID_IXMLDOMDocument);
    if (!document_ || !ProhibitDocumentTypes(object)) {
        document_.Reset();
        return;
    }
    const std::wstring text =
        rawBytes_ ? DecodeManifestBytes(bytes, count) : Utf16Text(bytes, count);
    // Some builds of the component (Wine's among them) take the DTD setting and still expand
    // entities: a text with a DOCTYPE is not parsed at all and leaves the document empty, as a
    // text that does not parse would.
    if (HasDocumentTypeDeclaration(text)) {
        return;
    }
    const UniqueBstr xml(text);
    VARIANT_BOOL parsed = VARIANT_FALSE;
    document_->loadXML(xml.Get(), &parsed);  // a failed parse leaves the document empty
}

bool ManifestDocument::FindRoot() {
    root_.Reset();
    if (!document_) {
        return false;
    }
    const UniqueBstr name(rootName_);
    if (document_->selectSingleNode(name.Get(), root_.Put()) == S_OK && root_) {
        return true;
    }
    root_.Reset();
    ComPtr<IXMLDOMElement> element;
    if (FAILED(document_->createElement(name.Get(), element.Put())) || !element) {
        return false;
    }
    // Appending fails when the document already has another root; the new element is the root
    // either way, and it has no children.
    ComPtr<IXMLDOMNode> appended;
    document_->appendChild(element.Get(), appended.Put());
    root_ = element.As<IXMLDOMNode>(IID_IXMLDOMNode);
    return static_cast<bool>(root_);
}

std::unique_ptr<ManifestNode> ManifestDocument::Root() const {
    return ViewOfDomNode(root_.As<IXMLDOMNode>(IID_IXMLDOMNode));
}

void ManifestDocument::Clear() {
    root_.Reset();
    document_.Reset();
}
