// An in-memory machine for the update decision, and update lists written and read in one line.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "manifest/update_decision.h"
#include "manifest/update_list.h"
#include "manifest/version.h"

namespace decision_fake {

const wchar_t kSuite[] = L"C:\\Suite\\";
const wchar_t kPlugins[] = L"C:\\Cal\\plugins\\";
const wchar_t kLocal[] = L"C:\\Local";

// The id under which the fake keeps a value of one of the product keys.
inline std::wstring RegistryId(const RegistryLocation& key, const std::wstring& value) {
    return std::wstring(key.root == RegistryRoot::kLocalMachine ? L"HKLM|" : L"HKCU|") + key.path +
           L"|" + value;
}
inline std::wstring RegistryId(ProductKey product, const std::wstring& value) {
    return RegistryId(ProductRegistryKey(product, false), value);
}

// A lookup under another root or path than the suite's key list names finds nothing.
struct FakeMachine {
    std::map<std::wstring, std::wstring> files;     // path -> product version ("" for none)
    std::map<std::wstring, std::wstring> registry;  // RegistryId -> text
    bool wow64 = false;
    mutable std::vector<std::wstring> reads;  // the RegistryId of each value read

    DecisionMachine Machine() const {
        DecisionMachine machine;
        machine.probe.wow64 = wow64;
        machine.probe.fileExists = [this](const std::wstring& path) {
            return files.count(path) > 0;
        };
        machine.probe.readString = [this](const RegistryLocation& key, const std::wstring& value) {
            EXPECT_EQ(key.accessModifier, wow64 ? 0x100u : 0u);
            reads.push_back(RegistryId(key, value));
            const auto found = registry.find(reads.back());
            return found == registry.end() ? std::wstring() : found->second;
        };
        machine.fileVersion = [this](const std::wstring& path) {
            // An empty path would make the real reader report the updater's own version.
            EXPECT_FALSE(path.empty()) << "version asked for an empty path";
            const auto found = files.find(path);
            return found == files.end() ? std::wstring() : found->second;
        };
        machine.localAppData = [] { return std::wstring(kLocal); };
        machine.suiteDirectory = kSuite;
        return machine;
    }
};

// Entries written "tag:version", then optionally "@file name" (else tag.exe), "<depend text",
// "#placement kind", "!" for enforce and "*" for an entry already marked, separated by blanks.
inline UpdateList Entries(const std::wstring& text) {
    UpdateList list;
    std::wistringstream words(text);
    for (std::wstring word; words >> word;) {
        auto item = std::make_unique<UpdateItem>();
        item->enforce = word.back() == L'!' || (word.size() > 1 && word.end()[-2] == L'!');
        item->updateNeeded = word.back() == L'*' || (word.size() > 1 && word.end()[-2] == L'*');
        word.erase(word.find_last_not_of(L"!*") + 1);
        const auto take = [&word](wchar_t mark) {
            const std::size_t at = word.rfind(mark);
            std::wstring part = at == std::wstring::npos ? L"" : word.substr(at + 1);
            word = word.substr(0, at);
            return part;
        };
        item->placementKind = LeadingInt(take(L'#'));
        item->depend = take(L'<');
        item->fileName = take(L'@');
        item->version = take(L':');
        item->tag = word;
        item->name = word + L" display";
        item->fileName = item->fileName.empty() ? word + L".exe" : item->fileName;
        list.push_back(std::move(item));
    }
    RefuseHostilePackageNames(list);  // as the manifest reader leaves the list
    return list;
}

// Each entry as "<tag>=<installed version>", followed by "*" when it needs an update, in list
// order and separated by spaces. An entry that the run leaves alone reads "<tag>=".
inline std::wstring Decided(const UpdateList& list) {
    std::wstring entries;
    for (const auto& item : list) {
        entries += (entries.empty() ? L"" : L" ") + item->tag + L"=" + item->installedVersion +
                   (item->updateNeeded ? L"*" : L"");
    }
    return entries;
}

}  // namespace decision_fake
