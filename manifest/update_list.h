// The upgrade manifest (root "UpdateList") read into the update list: one UpdateItem per entry,
// in document order, plus the few values the reader records on the side.
//
// Each child of the root is either the settings element "SystemSet" (matched case-sensitively)
// or an entry, whatever its name (a comment too): the entry's tag is its node name in lower case
// and its child elements carry its fields. The element names of the fields depend on the manifest
// variant (classic "version", "installfile", ...; version-6 "v", "f", ...) and are matched
// ignoring letter case; a field met twice keeps the later value.
#pragma once

#include <cstddef>
#include <string>

#include "manifest/manifest_node.h"
#include "manifest/manifest_text.h"
#include "manifest/update_item.h"

// What the reader takes in and records besides the list. Only the values whose elements occur
// are written, so each keeps the caller's value otherwise.
struct UpgradeReaderState {
    std::wstring downloadBase;          // in: "http://" origin prefixed to relative install files
    std::wstring mainSetupUrl;          // download URL of the entry tagged "keldrasetup"
    std::wstring latestUpdaterVersion;  // version of the entry tagged "tallix"
    std::wstring targetDependency;      // depend text of the entry tagged as the target product
    int setupKind = 0;                  // SystemSet/UpgradeType: 0 for the text "0", else 1
};

// Walks the children of the root, appending one item per entry to `list`. `vocabulary` names the
// fetched variant; `targetProduct` is the product named on the command line (may be empty).
// Returns false when the XML component failed: the walk ends there, the entry being read is
// dropped and the entries appended before stay in the list.
bool ReadUpgradeManifest(const ManifestNode& root, ManifestVariant vocabulary,
                         const std::wstring& targetProduct, UpgradeReaderState& state,
                         UpdateList& list);

// Fills `item` (its tag already set) from the entry's child elements. The flags are reset first:
// enforce, run direct and unattended false, copy file true, placement kind 0. Also records the
// main-setup URL and the target dependency in `state`. False when the XML component failed.
bool ReadUpdateEntry(const ManifestNode& entry, ManifestVariant vocabulary,
                     const std::wstring& targetProduct, UpgradeReaderState& state,
                     UpdateItem& item);

// The fields of an entry that its child elements set.
enum class EntryField {
    kOther,
    kName,
    kVersion,
    kInstallFile,
    kClassName,
    kCopyFile,
    kEnforce,
    kRunDirect,
    kDepend,
    kUnattended,
    kPlacementKind,
};

// The field an entry's child element named `name` (any letter case) sets in `vocabulary`.
EntryField EntryFieldNamed(const std::wstring& name, ManifestVariant vocabulary);

// The element name of a field in `vocabulary` ("installfile", "f"); null where it has none.
const wchar_t* EntryFieldElementName(EntryField field, ManifestVariant vocabulary);

// Whether an entry's child element named `name` (any letter case) sets a field in `vocabulary`.
bool IsEntryFieldName(const std::wstring& name, ManifestVariant vocabulary);

// A flag as the reader takes its text: copy file, enforce and run direct are true unless the
// text is "false", the unattended flag only when it is "true" (any letter case).
bool ReadFlag(EntryField field, const std::wstring& text);

// The download URL of an install-file text: the text itself when its first four characters are
// "http" in any letter case, else the download base followed directly by the text.
std::wstring InstallFileUrl(const std::wstring& downloadBase, const std::wstring& text);

// The package's file name in the upgrade directory: what follows the last "/" of the install-file
// text when that "/" is not its first character, else the tag followed by ".exe".
std::wstring PackageFileName(const std::wstring& installFileText, const std::wstring& tag);

// The longest path of a package in the upgrade directory that every file call accepts (MAX_PATH
// less its terminating zero).
constexpr std::size_t kMaxPackagePath = 259;

// Whether a package file name names one plain file inside the folder it is joined to. Manifests
// come over plain HTTP, so the name is hostile until shown otherwise. Refused: the empty name,
// "." and "..", a name with a path separator, a drive or stream colon, a wildcard, a quote, a
// pipe, an angle bracket or a control character, one that ends in a dot or a blank (Windows
// drops those, so the file would be another one), a device name with or without an extension
// (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$) and one longer than a path allows.
bool IsSafePackageFileName(const std::wstring& name);

// Whether a package with a safe name fits in the folder (which keeps its trailing backslash):
// the joined path, and the download's "<path>.tmp", stay within kMaxPackagePath.
bool IsSafePackagePath(const std::wstring& folder, const std::wstring& name);
