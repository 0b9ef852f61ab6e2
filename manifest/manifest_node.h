// The view of a parsed manifest that the manifest readers walk: a node has a name, a text and
// ordered children. The XML component behind it may fail while any of these is read; every
// accessor reports such a failure, and a reader that meets one stops its walk at once, keeping
// what it has taken so far.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

// Root element names of the three manifests.
inline const wchar_t kUpgradeRootName[] = L"UpdateList";  // upgrade and history manifests
inline const wchar_t kSettingsRootName[] = L"TallixSet";  // settings manifest

class ManifestNode {
  public:
    virtual ~ManifestNode() = default;

    // The node name as the XML component gives it ("#comment" for a comment, for example).
    // False when the component failed.
    virtual bool Name(std::wstring& name) const = 0;

    // The concatenated text of the node and all its descendants. False when the component failed.
    virtual bool Text(std::wstring& text) const = 0;

    // The number of children. False when the component failed.
    virtual bool ChildCount(std::size_t& count) const = 0;

    // The child at `index` (0 <= index < ChildCount), created on demand so that an adapter can
    // wrap the component's node lazily. Null when the component failed.
    virtual std::unique_ptr<ManifestNode> Child(std::size_t index) const = 0;
};

// Calls `visit` for each child of `node` in document order with the child and its name. Returns
// false as soon as the component fails (count, child or name) or `visit` returns false; true when
// every child was visited.
bool ForEachChild(
    const ManifestNode& node,
    const std::function<bool(const ManifestNode& child, const std::wstring& name)>& visit);
