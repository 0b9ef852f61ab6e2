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
    std::wstring mainSetupFileName;     // the main setup's name in the upgrade folder, "" refused
};

// Walks the children of the root, appending one item per entry to `list`. `vocabulary` names the
// fetched variant; `targetProduct` is the product named on the command line (may be empty).
// Returns false when the XML component failed: the walk ends there, the entry being read is
// dropped and the entries appended before stay in the list. Either way the package names of the
// whole list are then judged (RefuseHostilePackageNames).
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

// The main-setup package's name in the upgrade folder: "keldrasetup_<code>.exe" when the target
// product has a tool code, else the text after the last "/" of the main-setup URL. Empty when
// that name is refused (IsSafePackageFileName). The one place the name is worked out: the reader
// records it, the download job stores the package under it and the installer runs it from there.
std::wstring MainSetupFileName(const std::wstring& toolCode, const std::wstring& mainSetupUrl);

// Whether a package file name names one plain file inside the folder it is joined to. Manifests
// come over plain HTTP, so the name is hostile until shown otherwise. Accepted are only printable
// ASCII characters other than a path separator, a drive or stream colon, a wildcard, a quote, a
// pipe, an angle bracket and "~". Anything else could become one of those on its way to the file
// system: a conversion to a code page "best fits" U+FF3C and U+FF0F to "\" and "/", U+FF1A to ":"
// (and, on Japanese and Korean systems, U+00A5 and U+20A9 to "\"), and a "~" may be the short
// alias of another file (KELDRA~1.EXE). Refused as well: the empty name, "." and "..", one that
// ends in a dot or a blank (Windows drops those, so the file would be another one), a device name
// with or without an extension (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$) and one
// longer than a path allows.
bool IsSafePackageFileName(const std::wstring& name);

// Marks every entry whose package name is refused (`nameRefused`): a name that
// IsSafePackageFileName refuses, or one that differs from another entry's name only by letter case
// (Windows would take both for one file, so one entry's package would stand in for the other's).
// Entries with the very same name share their package, as they always have.
void RefuseHostilePackageNames(UpdateList& list);

// Whether a package with a safe name fits in the folder (which keeps its trailing backslash):
// the joined path, and the download's "<path>.tmp", stay within kMaxPackagePath.
bool IsSafePackagePath(const std::wstring& folder, const std::wstring& name);
