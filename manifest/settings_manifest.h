// The updater's settings manifest (root "TallixSet"): lets the publisher switch the suite to the
// version-6 manifests, move the download server, replace the history page's announcement and name
// the strings that mark a hijacked download.
#pragma once

#include <string>
#include <vector>

#include "manifest/manifest_node.h"

// The values the settings manifest may change. The reader only writes the values whose elements
// it meets, so a missing or empty manifest leaves every value as the owner set it.
struct UpdaterSettings {
    std::wstring
        downloadAddress;  // download server address; the owner starts it at the built-in one
    bool version6Switch = false;            // "upkeldra6" was exactly "1"
    std::wstring announcement;              // announcement text of the history page
    std::vector<std::wstring> hijackNames;  // only grows
};

// Used when the manifest has a "history" element without text.
extern const wchar_t kBuiltInAnnouncement[];

// Walks the children of the settings manifest's root in document order. Element names are
// matched ignoring letter case; a later element overrides an earlier one; other children are
// ignored. Returns false when the XML component failed during the walk; what was applied before
// the failure stays applied.
bool ReadSettingsManifest(const ManifestNode& root, UpdaterSettings& settings);

// Whether the settings reader acts on a child of the root named `name` (any letter case).
bool IsSettingsElementName(const std::wstring& name);

// Appends the names of a "hijactname" text to `names`: bars are stripped from both ends, then
// the text is cut at each bar that is not its first character. A text of bars only adds nothing.
void AppendHijackNames(const std::wstring& text, std::vector<std::wstring>& names);
