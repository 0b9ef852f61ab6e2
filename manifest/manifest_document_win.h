// The XML document that holds a fetched manifest: MSXML's DOM document 3.0, one object reused for
// every manifest, and the view of its nodes that the portable manifest readers walk.
#pragma once

#include <windows.h>
#include <msxml2.h>

#include <cstddef>
#include <memory>
#include <string>

#include "manifest/com_ptr_win.h"
#include "manifest/manifest_node.h"

// A manifest node seen through MSXML. Every accessor turns a failure reported by the component
// into the false or null of ManifestNode, so a reader stops its walk there.
std::unique_ptr<ManifestNode> ViewOfDomNode(ComPtr<IXMLDOMNode> node);

// Holder of the parsed manifest and its root element. COM must be initialised on the thread that
// uses it, and the holder must be cleared before COM is uninitialised there.
class ManifestDocument {
  public:
    ManifestDocument() = default;
    ManifestDocument(const ManifestDocument&) = delete;
    ManifestDocument& operator=(const ManifestDocument&) = delete;

    // The name of the root element that FindRoot looks for.
    void SetRootName(const std::wstring& name) { rootName_ = name; }
    const std::wstring& RootName() const { return rootName_; }

    // Set: Load takes its bytes as a fetched body and decodes them (UTF-8 after a UTF-8 byte-order
    // mark, else UTF-16LE with or without its mark). Clear: the bytes are UTF-16LE text as they
    // are.
    void SetRawBytes(bool raw) { rawBytes_ = raw; }
    bool RawBytes() const { return rawBytes_; }

    // Drops the previous document, creates a new one and parses the text of `bytes` into it. A
    // text that does not parse leaves an empty document; when the component cannot be created or
    // run no document is held. `bytes` may be null when `count` is 0.
    void Load(const unsigned char* bytes, std::size_t count);

    // Selects the root element by its name; when the document has none (empty, malformed or with
    // another root), an empty element of that name is appended and becomes the root. Returns
    // whether a root is held.
    bool FindRoot();

    // A view of the root for the readers; null when no root is held.
    std::unique_ptr<ManifestNode> Root() const;

    // Releases the document and its root.
    void Clear();

  private:
    std::wstring rootName_;
    ComPtr<IXMLDOMDocument> document_;
    ComPtr<IXMLDOMNode> root_;
    bool rawBytes_ = false;
};
