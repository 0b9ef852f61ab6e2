// Manifests on which the XML readers behind the updater and behind the publisher's tool must give
// the same node view: the same children, names and texts. The Windows test walks them through
// MSXML, the native test through the pugixml adapter, and both compare with the same expected
// walk, so every place where the two parsers differ by themselves (whitespace, comments, markup
// that is not an element, encodings, errors) is pinned on both sides.
#pragma once

#include <string>
#include <vector>

#include "manifest/manifest_node.h"

namespace xml_view_cases {

struct Case {
    const char* what;
    std::string bytes;  // the body as served
    const wchar_t* root;
    const wchar_t* walk;  // Walk() of the root
};

// name[text]{children...}; "!" where the component failed.
inline std::wstring Walk(const ManifestNode& node) {
    std::wstring name;
    std::wstring text;
    if (!node.Name(name) || !node.Text(text)) {
        return L"!";
    }
    std::wstring out = name + L"[" + text + L"]";
    std::size_t count = 0;
    if (!node.ChildCount(count)) {
        return out + L"!";
    }
    if (count > 0) {
        out += L"{";
        for (std::size_t i = 0; i < count; ++i) {
            const auto child = node.Child(i);
            out += (i > 0 ? L" " : L"") + (child ? Walk(*child) : std::wstring(L"!"));
        }
        out += L"}";
    }
    return out;
}

#define TALLIX_BOM "\xEF\xBB\xBF"

inline const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"whitespace between elements is no node; text keeps inner blanks and loses outer ones",
         TALLIX_BOM "<UpdateList>\n  <a>\n  <v>  6.0  1 </v>\n  </a>\n</UpdateList>", L"UpdateList",
         L"UpdateList[6.0  1]{a[6.0  1]{v[6.0  1]{#text[6.0  1]}}}"},
        {"text split by child elements",
         TALLIX_BOM "<UpdateList><n> a <b> b </b> c </n></UpdateList>", L"UpdateList",
         L"UpdateList[a  b  c]{n[a  b  c]{#text[a] b[b]{#text[b]} #text[c]}}"},
        {"a whitespace-only element has no text",
         TALLIX_BOM "<UpdateList><v>   </v><w></w><x/></UpdateList>", L"UpdateList",
         L"UpdateList[]{v[] w[] x[]}"},
        {"comments and processing instructions are children; their text is not the element's",
         TALLIX_BOM "<UpdateList><!-- c1 --><a>1<!--c2-->2</a><?pi data?></UpdateList>",
         L"UpdateList",
         L"UpdateList[12]{#comment[ c1 ] a[12]{#text[1] #comment[c2] #text[2]} pi[data]}"},
        {"CDATA keeps its blanks and is a child of its own",
         TALLIX_BOM "<UpdateList><v><![CDATA[ 1.0 ]]></v></UpdateList>", L"UpdateList",
         L"UpdateList[ 1.0 ]{v[ 1.0 ]{#cdata-section[ 1.0 ]}}"},
        {"text directly in the root is a child named #text",
         TALLIX_BOM "<UpdateList>stray<a/></UpdateList>", L"UpdateList",
         L"UpdateList[stray]{#text[stray] a[]}"},
        {"references are resolved, line ends become LF, attributes are no children",
         TALLIX_BOM "<UpdateList><n k=\"v\">a&amp;b&#x4E2D;\r\nc</n></UpdateList>", L"UpdateList",
         L"UpdateList[a&b\x4E2D\nc]{n[a&b\x4E2D\nc]{#text[a&b\x4E2D\nc]}}"},
        {"prefixed names keep their prefix",
         TALLIX_BOM "<UpdateList xmlns:x=\"urn:x\"><x:a>1</x:a></UpdateList>", L"UpdateList",
         L"UpdateList[1]{x:a[1]{#text[1]}}"},
        {"UTF-8 without the mark is read as UTF-16 and does not parse: an empty root",
         "<UpdateList><a/></UpdateList>", L"UpdateList", L"UpdateList[]"},
        {"UTF-16LE with its mark",
         std::string("\xFF\xFE<\0U\0p\0d\0a\0t\0e\0L\0i\0s\0t\0>\0\x2D\x4E<\0/\0U\0p\0d\0a\0t\0e\0"
                     "L\0i\0s\0t\0>\0",
                     54),
         L"UpdateList", L"UpdateList[\x4E2D]{#text[\x4E2D]}"},
        {"a declared encoding other than UTF-8 or UTF-16 re-reads the text: it no longer parses",
         TALLIX_BOM
         "<?xml version=\"1.0\" encoding=\"gb2312\"?><UpdateList>\xE4\xB8\xAD</UpdateList>",
         L"UpdateList", L"UpdateList[]"},
        {"a declared UTF-8 is the text's own encoding",
         TALLIX_BOM
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><UpdateList>\xE4\xB8\xAD</UpdateList>",
         L"UpdateList", L"UpdateList[\x4E2D]{#text[\x4E2D]}"},
        {"ill-formed UTF-8 becomes U+FFFD", TALLIX_BOM "<UpdateList>a\xC3(b</UpdateList>",
         L"UpdateList", L"UpdateList[a\xFFFD(b]{#text[a\xFFFD(b]}"},
        {"malformed XML: an empty root", TALLIX_BOM "<UpdateList><a></UpdateList>", L"UpdateList",
         L"UpdateList[]"},
        {"another root element: an empty root",
         TALLIX_BOM "<Other><UpdateList><a/></UpdateList></Other>", L"UpdateList", L"UpdateList[]"},
        {"the root name is matched in its letter case", TALLIX_BOM "<updatelist><a/></updatelist>",
         L"UpdateList", L"UpdateList[]"},
        {"an empty body: an empty root", "", L"UpdateList", L"UpdateList[]"},
        {"a C0 control is no XML character, raw or referred to: an empty root",
         TALLIX_BOM "<UpdateList><a>x\x1B[2Jy</a></UpdateList>", L"UpdateList", L"UpdateList[]"},
        {"a reference to a C0 control: an empty root",
         TALLIX_BOM "<UpdateList><a>x&#27;y</a></UpdateList>", L"UpdateList", L"UpdateList[]"},
        {"C1 controls and DEL are XML characters",
         TALLIX_BOM "<UpdateList><a>x\xC2\x9B\x7Fy</a></UpdateList>", L"UpdateList",
         L"UpdateList[x\x9B\x7Fy]{a[x\x9B\x7Fy]{#text[x\x9B\x7Fy]}}"},
    };
    return cases;
}

#undef TALLIX_BOM

}  // namespace xml_view_cases
