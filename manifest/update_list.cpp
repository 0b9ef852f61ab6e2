#include "manifest/update_list.h"

#include <map>
#include <memory>
#include <set>
#include <utility>

#include "base/command_line.h"
#include "base/text.h"
#include "manifest/version.h"

namespace {

// Element names of each field in the two vocabularies; null where a vocabulary has no element.
struct FieldNames {
    EntryField field;
    const wchar_t* classic;
    const wchar_t* version6;
};

constexpr FieldNames kFieldNames[] = {
    {EntryField::kName, L"name", L"n"},
    {EntryField::kVersion, L"version", L"v"},
    {EntryField::kInstallFile, L"installfile", L"f"},
    {EntryField::kClassName, L"classname", L"cn"},
    {EntryField::kCopyFile, L"copyfile", L"cf"},
    {EntryField::kEnforce, L"enforce", L"ef"},
    {EntryField::kRunDirect, L"rundirect", L"rd"},
    {EntryField::kDepend, L"depend", L"d"},
    {EntryField::kUnattended, L"u", L"u"},
    {EntryField::kPlacementKind, nullptr, L"p"},
};

void ApplyInstallFile(const std::wstring& text, const std::wstring& targetProduct,
                      UpgradeReaderState& state, UpdateItem& item) {
    item.downloadUrl = InstallFileUrl(state.downloadBase, text);
    if (EqualsNoCase(item.tag, L"keldrasetup")) {
        state.mainSetupUrl = item.downloadUrl;
        state.mainSetupFileName = MainSetupFileName(ToolCodeFor(targetProduct), item.downloadUrl);
    }
    item.fileName = PackageFileName(text, item.tag);
}

void ApplyField(EntryField field, const std::wstring& text, const std::wstring& targetProduct,
                UpgradeReaderState& state, UpdateItem& item) {
    switch (field) {
        case EntryField::kName:
            item.name = text;
            break;
        case EntryField::kVersion:
            item.version = text;
            break;
        case EntryField::kInstallFile:
            ApplyInstallFile(text, targetProduct, state, item);
            break;
        case EntryField::kClassName:
            item.className = text;
            break;
        case EntryField::kCopyFile:
            item.copyFile = ReadFlag(field, text);
            break;
        case EntryField::kEnforce:
            item.enforce = ReadFlag(field, text);
            break;
        case EntryField::kRunDirect:
            item.runDirect = ReadFlag(field, text);
            break;
        case EntryField::kDepend:
            item.depend = text;
            if (EqualsNoCase(item.tag, targetProduct)) {
                state.targetDependency = text;
            }
            break;
        case EntryField::kUnattended:
            item.unattended = ReadFlag(field, text);
            break;
        case EntryField::kPlacementKind:
            item.placementKind = LeadingInt(text);
            break;
        case EntryField::kOther:
            break;
    }
}

// "UpgradeType" sets the setup kind; "HistoryHelvor" and "HistoryPinnace" are recognised but
// carry nothing the updater uses; other children are ignored.
bool ReadSystemSet(const ManifestNode& systemSet, UpgradeReaderState& state) {
    return ForEachChild(systemSet, [&state](const ManifestNode& child, const std::wstring& name) {
        if (!EqualsNoCase(name, L"UpgradeType")) {
            return true;
        }
        std::wstring text;
        if (!child.Text(text)) {
            return false;
        }
        state.setupKind = text == L"0" ? 0 : 1;
        return true;
    });
}

}  // namespace

EntryField EntryFieldNamed(const std::wstring& name, ManifestVariant vocabulary) {
    for (const FieldNames& entry : kFieldNames) {
        const wchar_t* known =
            vocabulary == ManifestVariant::kClassic ? entry.classic : entry.version6;
        if (known != nullptr && EqualsNoCase(name, known)) {
            return entry.field;
        }
    }
    return EntryField::kOther;
}

const wchar_t* EntryFieldElementName(EntryField field, ManifestVariant vocabulary) {
    for (const FieldNames& entry : kFieldNames) {
        if (entry.field == field) {
            return vocabulary == ManifestVariant::kClassic ? entry.classic : entry.version6;
        }
    }
    return nullptr;
}

bool IsEntryFieldName(const std::wstring& name, ManifestVariant vocabulary) {
    return EntryFieldNamed(name, vocabulary) != EntryField::kOther;
}

bool ReadFlag(EntryField field, const std::wstring& text) {
    const std::wstring lower = ToLowerAscii(text);
    return field == EntryField::kUnattended ? lower == L"true" : lower != L"false";
}

std::wstring InstallFileUrl(const std::wstring& downloadBase, const std::wstring& text) {
    if (ToLowerAscii(text.substr(0, 4)) == L"http") {
        return text;
    }
    return downloadBase + text;
}

std::wstring PackageFileName(const std::wstring& installFileText, const std::wstring& tag) {
    const std::size_t slash = installFileText.rfind(L'/');
    if (slash != std::wstring::npos && slash > 0) {
        return installFileText.substr(slash + 1);
    }
    return tag + L".exe";
}

std::wstring MainSetupFileName(const std::wstring& toolCode, const std::wstring& mainSetupUrl) {
    std::wstring name;
    if (!toolCode.empty()) {
        name = L"keldrasetup_" + toolCode + L".exe";
    } else {
        const std::size_t slash = mainSetupUrl.rfind(L'/');
        name = slash == std::wstring::npos ? mainSetupUrl : mainSetupUrl.substr(slash + 1);
    }
    return IsSafePackageFileName(name) ? name : std::wstring();
}

namespace {

bool IsDeviceName(const std::wstring& name) {
    // The device is named by the text before the first dot, blanks at its end ignored. (The
    // superscript digits that also name COM and LPT ports are outside the accepted characters.)
    const std::wstring stem = TrimRight(ToLowerAscii(name.substr(0, name.find(L'.'))));
    if (stem == L"con" || stem == L"prn" || stem == L"aux" || stem == L"nul" || stem == L"conin$" ||
        stem == L"conout$") {
        return true;
    }
    return stem.size() == 4 &&
           (stem.compare(0, 3, L"com") == 0 || stem.compare(0, 3, L"lpt") == 0) &&
           stem[3] >= L'0' && stem[3] <= L'9';
}

}  // namespace

bool IsSafePackageFileName(const std::wstring& name) {
    if (name.empty() || name.size() > kMaxPackagePath) {
        return false;
    }
    for (const wchar_t c : name) {
        if (c < 0x20 || c > 0x7E || std::wstring(L"\\/:*?\"<>|~").find(c) != std::wstring::npos) {
            return false;
        }
    }
    // A trailing dot also refuses "." and "..".
    const wchar_t last = name.back();
    return last != L'.' && last != L' ' && !IsDeviceName(name);
}

void RefuseHostilePackageNames(UpdateList& list) {
    // The names in lower case, each with the first spelling met: a second spelling is a twin.
    std::map<std::wstring, std::wstring> spellings;
    std::set<std::wstring> twins;  // lower-case names met in more than one spelling
    for (const auto& item : list) {
        if (!item) {
            continue;
        }
        const auto [at, added] = spellings.emplace(ToLowerAscii(item->fileName), item->fileName);
        if (!added && at->second != item->fileName) {
            twins.insert(at->first);
        }
    }
    for (const auto& item : list) {
        if (item) {
            item->nameRefused = !IsSafePackageFileName(item->fileName) ||
                                twins.count(ToLowerAscii(item->fileName)) > 0;
        }
    }
}

bool IsSafePackagePath(const std::wstring& folder, const std::wstring& name) {
    static const std::size_t kTmpSuffix = 4;  // ".tmp"
    return IsSafePackageFileName(name) &&
           folder.size() + name.size() + kTmpSuffix <= kMaxPackagePath;
}

bool ReadUpdateEntry(const ManifestNode& entry, ManifestVariant vocabulary,
                     const std::wstring& targetProduct, UpgradeReaderState& state,
                     UpdateItem& item) {
    item.enforce = false;
    item.runDirect = false;
    item.unattended = false;
    item.copyFile = true;
    item.placementKind = 0;
    return ForEachChild(entry, [&](const ManifestNode& child, const std::wstring& name) {
        const EntryField field = EntryFieldNamed(name, vocabulary);
        if (field == EntryField::kOther) {
            return true;
        }
        std::wstring text;
        if (!child.Text(text)) {
            return false;
        }
        ApplyField(field, text, targetProduct, state, item);
        return true;
    });
}

bool ReadUpgradeManifest(const ManifestNode& root, ManifestVariant vocabulary,
                         const std::wstring& targetProduct, UpgradeReaderState& state,
                         UpdateList& list) {
    const bool complete =
        ForEachChild(root, [&](const ManifestNode& child, const std::wstring& name) {
            if (name == L"SystemSet") {
                return ReadSystemSet(child, state);
            }
            auto item = std::make_unique<UpdateItem>();
            item->tag = ToLowerAscii(name);
            if (!ReadUpdateEntry(child, vocabulary, targetProduct, state, *item)) {
                return false;
            }
            if (EqualsNoCase(item->tag, L"tallix")) {
                state.latestUpdaterVersion = item->version;
            }
            list.push_back(std::move(item));
            return true;
        });
    RefuseHostilePackageNames(list);
    return complete;
}
