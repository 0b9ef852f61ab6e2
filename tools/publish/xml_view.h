// The manifests as the updater reads them, on Linux: a fetched body is decoded by the updater's
// own decoding (manifest/manifest_text.h), parsed with pugixml and seen through the node view that
// the updater's readers walk (manifest/manifest_node.h).
//
// The updater's parser is the system's XML component; where pugixml behaves otherwise by itself,
// this adapter does what the system's component does:
// - whitespace-only text between elements is no node; the text of a text node and of an element
//   loses its leading and trailing blanks (CDATA keeps them);
// - comments, processing instructions and CDATA sections are children ("#comment", the target,
//   "#cdata-section"), and only text and CDATA count in an element's text;
// - the text decides its encoding, never the XML declaration;
// - a body that is not one well-formed document (two top elements, text outside the root, an
//   unknown entity, a stray "&") gives no document, and the root is then an empty element of the
//   expected name, as is a document whose top element has another name.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "manifest/manifest_node.h"

// UTF-16 code units (one per element, whatever the width of wchar_t) as UTF-8; a lone surrogate
// becomes U+FFFD.
std::string Utf16ToUtf8(const std::wstring& text);
// UTF-8 as UTF-16 code units; ill-formed sequences become U+FFFD.
std::wstring Utf8ToUtf16(const std::string& text);

class ManifestXml {
  public:
    ManifestXml();
    ~ManifestXml();
    ManifestXml(const ManifestXml&) = delete;
    ManifestXml& operator=(const ManifestXml&) = delete;

    // Decodes and parses a body as the updater does and finds the root element `rootName`.
    void Load(const std::vector<unsigned char>& bytes, const std::wstring& rootName);

    // The root the readers walk: the document's top element when it has the expected name, else
    // an empty element of that name. Never null after Load.
    std::unique_ptr<ManifestNode> Root() const;

    // The line (1-based) where a node of Root()'s tree starts in the decoded text; 0 when unknown.
    std::size_t LineOf(const ManifestNode& node) const;

    // The decoded text, whether it parsed, and where it stopped when it did not.
    const std::wstring& Text() const { return text_; }
    bool Parsed() const { return parsed_; }
    bool RootFound() const { return rootFound_; }
    const std::string& Error() const { return error_; }
    std::size_t ErrorLine() const { return errorLine_; }  // 1-based; 0 when parsed

  private:
    std::size_t LineAtOffset(std::size_t offset) const;  // of the UTF-8 text, 1-based

    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::wstring text_;
    std::string utf8_;
    std::vector<std::size_t> lineStarts_;  // offset of each line in utf8_
    std::wstring rootName_;
    bool parsed_ = false;
    bool rootFound_ = false;
    std::string error_;
    std::size_t errorLine_ = 0;
};
