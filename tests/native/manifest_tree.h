// An in-memory manifest tree for the reader tests, shaped like the XML component's DOM: an
// element's text lies in "#text" children, comments are "#comment" nodes, and an element's text
// is the concatenated text of its descendants (comments excluded). Any accessor of a node can be
// told to fail, to stand for an error reported by the XML component.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "manifest/manifest_node.h"

namespace manifest_tree {

struct TreeNode {
    std::wstring name;
    std::wstring ownText;  // the text of a "#text" or "#comment" node
    std::vector<TreeNode> children;
    bool failName = false;
    bool failText = false;
    bool failCount = false;
    bool failChild = false;  // every Child() of this node fails
};

inline TreeNode Element(std::wstring name, std::vector<TreeNode> children = {}) {
    return {std::move(name), L"", std::move(children)};
}
inline TreeNode TextNode(std::wstring text) {
    return {L"#text", std::move(text), {}};
}
inline TreeNode Comment(std::wstring text) {
    return {L"#comment", std::move(text), {}};
}

// <name>text</name>; an empty text gives an element without children, like <name/>.
inline TreeNode Leaf(std::wstring name, std::wstring text) {
    std::vector<TreeNode> children;
    if (!text.empty()) {
        children.push_back(TextNode(std::move(text)));
    }
    return Element(std::move(name), std::move(children));
}

class TreeView : public ManifestNode {
  public:
    explicit TreeView(const TreeNode& node) : node_(node) {}

    bool Name(std::wstring& name) const override {
        name = node_.name;
        return !node_.failName;
    }

    bool Text(std::wstring& text) const override {
        if (node_.failText) {
            return false;
        }
        text = Concatenated(node_);
        return true;
    }

    bool ChildCount(std::size_t& count) const override {
        count = node_.children.size();
        return !node_.failCount;
    }

    std::unique_ptr<ManifestNode> Child(std::size_t index) const override {
        if (node_.failChild || index >= node_.children.size()) {
            return nullptr;
        }
        return std::make_unique<TreeView>(node_.children[index]);
    }

  private:
    static std::wstring Concatenated(const TreeNode& node) {
        std::wstring text = node.ownText;
        for (const TreeNode& child : node.children) {
            if (child.name != L"#comment") {
                text += Concatenated(child);
            }
        }
        return text;
    }

    const TreeNode& node_;
};

}  // namespace manifest_tree
