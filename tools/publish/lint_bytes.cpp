// The rules about a manifest's bytes and its XML: what the updater's decoding and parser make of
// them before any reader sees an element.
#include <string>

#include "base/text.h"
#include "manifest/manifest_text.h"
#include "tools/publish/lint.h"

namespace {

std::string Narrow(const std::wstring& text) {
    return Utf16ToUtf8(text);
}

void Add(std::vector<Finding>& out, Severity severity, const char* code, const LoadedManifest& m,
         std::string where, std::string message, std::string fix) {
    out.push_back({severity, code, m.file, std::move(where), std::move(message), std::move(fix)});
}

std::size_t LineAtByte(const std::vector<unsigned char>& b, std::size_t at) {
    std::size_t line = 1;
    for (std::size_t i = 0; i < at && i < b.size(); ++i)
        line += b[i] == '\n';
    return line;
}

}  // namespace

void LintBytes(const LoadedManifest& m, std::vector<Finding>& out) {
    const std::vector<unsigned char>& b = m.bytes;
    if (m.size > kManifestReadLimit) {
        const std::string size = m.size >= kCountLimit ? "more than " + std::to_string(kCountLimit)
                                                       : std::to_string(m.size);
        Add(out, Severity::kError, "too-large", m, "byte " + std::to_string(kManifestReadLimit),
            size + " bytes: the updater reads the first " + std::to_string(kManifestReadLimit) +
                " bytes in one read, so the XML it parses is cut short and yields nothing",
            "keep the manifest under 1 MiB (move old entries or long notes out)");
        return;
    }
    if (b.empty()) {
        Add(out, Severity::kError, "empty", m, "byte 0",
            "the body is empty: the updater fetches nothing and keeps its previous values",
            "publish the manifest's content");
        return;
    }
    const ManifestEncoding encoding = ManifestEncodingOf(b.data(), b.size());
    const bool utf8Mark = encoding == ManifestEncoding::kUtf8Marked;
    const bool utf16Mark = encoding == ManifestEncoding::kUtf16Marked;
    if (!utf8Mark && !utf16Mark) {
        const bool bigEndian = b.size() >= 2 && b[0] == 0xFE && b[1] == 0xFF;
        const bool looksUtf16 = b.size() >= 2 && b[1] == 0;
        if (bigEndian) {
            Add(out, Severity::kError, "wrong-bom", m, "byte 0",
                "UTF-16 big-endian mark FE FF: the updater reads the body as UTF-16 little-endian "
                "and finds no manifest in it",
                "save the file as UTF-8 with a byte-order mark");
        } else if (!looksUtf16) {
            Add(out, Severity::kError, "no-bom", m, "byte 0",
                "UTF-8 without a byte-order mark: the updater reads the body as UTF-16 and finds "
                "no manifest in it, so every machine gets nothing from this file",
                "save the file as UTF-8 with a byte-order mark (EF BB BF)");
        }
    }
    if (utf8Mark) {
        for (std::size_t at = 3; at < b.size();) {
            if (b[at] == 0) {
                Add(out, Severity::kError, "nul", m,
                    "byte " + std::to_string(at) + ", line " + std::to_string(LineAtByte(b, at)),
                    "a NUL byte: the updater's text ends here", "remove the NUL byte");
                break;
            }
            const std::size_t length = Utf8SequenceLength(b.data(), b.size(), at);
            if (length == 0) {
                Add(out, Severity::kError, "bad-utf8", m,
                    "byte " + std::to_string(at) + ", line " + std::to_string(LineAtByte(b, at)),
                    "ill-formed UTF-8: the updater reads U+FFFD in its place",
                    "re-encode the file as UTF-8");
                break;  // one finding per file is enough to point at the encoding
            }
            at += length;
        }
    }
}

// The XML the updater's reader stops in, and a root it does not look for.
void LintXml(const LoadedManifest& m, std::vector<Finding>& out) {
    if (!m.present || !m.xml)
        return;
    const ManifestXml& xml = *m.xml;
    const std::string rootName =
        m.kind == ManifestKind::kSettings ? Narrow(kSettingsRootName) : Narrow(kUpgradeRootName);
    if (!xml.Parsed() && xml.Text().empty()) {
        Add(out, Severity::kError, "empty", m, "byte 0",
            "the decoded text is empty (it begins with a NUL): the updater parses nothing",
            "save the file as UTF-8 with a byte-order mark");
    } else if (!xml.Parsed()) {
        Add(out, Severity::kError, "xml", m, "line " + std::to_string(xml.ErrorLine()),
            "the updater's XML reader stops here (" + xml.Error() +
                "): the manifest contributes nothing",
            "make the file well-formed XML with the root " + rootName);
    }
    if (xml.Parsed() && !xml.RootFound()) {
        Add(out, Severity::kError, "wrong-root", m, "line 1",
            "the root element is not " + rootName +
                " (exact letter case): the manifest "
                "contributes nothing",
            "name the root element " + rootName);
    }
}
