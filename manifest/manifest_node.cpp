#include "manifest/manifest_node.h"

bool ForEachChild(
    const ManifestNode& node,
    const std::function<bool(const ManifestNode& child, const std::wstring& name)>& visit) {
    std::size_t count = 0;
    if (!node.ChildCount(count)) {
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::unique_ptr<ManifestNode> child = node.Child(i);
        std::wstring name;
        if (!child || !child->Name(name) || !visit(*child, name)) {
            return false;
        }
    }
    return true;
}
