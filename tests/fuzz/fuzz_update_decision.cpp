// The update decision on any list and machine, and the watch that matches depend texts in the
// growing dependency list. The decision's second run recomputes the first; a refused package
// name is never marked; a targeted run touches only the target's entry, the updater's, the
// entries named by their depend texts and (for the calendar) its plug-ins; the query of the
// target agrees with a plain search; and the watch answers as a search of the text fed so far.
//
// Input lines: the target product; the switches ("s" suite, "p" plug-in mode, "e" enforce, and
// "=version" the caller's version); then entries "tag|version|file|depend|placement|!" (the "!"
// for enforce) up to an empty line; then the suite's files "name=version".
#include <map>
#include <set>

#include "base/text.h"
#include "manifest/substring_watch.h"
#include "manifest/update_decision.h"
#include "manifest/update_list.h"
#include "manifest/version.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

const wchar_t kSuite[] = L"C:\\S\\";

std::vector<std::wstring> Fields(const std::wstring& line) {
    std::vector<std::wstring> fields;
    std::size_t start = 0;
    for (std::size_t bar; (bar = line.find(L'|', start)) != std::wstring::npos; start = bar + 1) {
        fields.push_back(line.substr(start, bar - start));
    }
    fields.push_back(line.substr(start));
    fields.resize(6);
    return fields;
}

// The tokens of a depend text: commas at either end dropped, then split at each "," (an empty
// token between two commas names an entry without a tag), lower-cased.
std::vector<std::wstring> Tokens(const std::wstring& depend) {
    std::vector<std::wstring> tokens;
    const std::size_t first = depend.find_first_not_of(L',');
    if (first == std::wstring::npos) {
        return tokens;
    }
    const std::wstring text = depend.substr(first, depend.find_last_not_of(L',') - first + 1);
    std::size_t start = 0;
    for (std::size_t comma; (comma = text.find(L',', start)) != std::wstring::npos;
         start = comma + 1) {
        tokens.push_back(ToLowerAscii(text.substr(start, comma - start)));
    }
    tokens.push_back(ToLowerAscii(text.substr(start)));
    return tokens;
}

std::wstring Decided(const UpdateList& list) {
    std::wstring text;
    for (const auto& item : list) {
        text += item->installedVersion + (item->updateNeeded ? L"*|" : L"|");
    }
    return text;
}

bool ReferenceTargetUpdate(const UpdateList& list, const std::wstring& target) {
    for (const auto& item : list) {
        if (EqualsNoCase(item->tag, target)) {
            if (item->updateNeeded) {
                return true;
            }
            for (const auto& other : list) {
                if (other->updateNeeded && Contains(item->depend, other->tag)) {
                    return true;
                }
            }
            break;
        }
    }
    if (!EqualsNoCase(target, L"dayloom")) {
        return false;
    }
    for (const auto& item : list) {
        if (item->placementKind == 1 && item->updateNeeded) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Pieces pieces(data, size);
    DecisionOptions options;
    options.targetProduct = ToLowerAscii(fuzz::Widen(pieces.Next()));
    const std::wstring switches = fuzz::Widen(pieces.Next());
    options.suiteMode = switches.find(L's') != std::wstring::npos;
    options.pluginMode = switches.find(L'p') != std::wstring::npos;
    options.enforceSwitch = switches.find(L'e') != std::wstring::npos;
    const std::size_t equals = switches.find(L'=');
    options.requestedVersion = equals == std::wstring::npos ? L"" : switches.substr(equals + 1);

    UpdateList list;
    for (std::string line = pieces.Next(); !line.empty() && list.size() < 64;
         line = pieces.Next()) {
        const std::vector<std::wstring> f = Fields(fuzz::Widen(line));
        auto item = std::make_unique<UpdateItem>();
        item->tag = ToLowerAscii(f[0]);
        item->version = f[1];
        item->fileName = f[2].empty() ? item->tag + L".exe" : f[2];
        item->depend = f[3];
        item->placementKind = LeadingInt(f[4]);
        item->enforce = f[5] == L"!";
        list.push_back(std::move(item));
    }
    RefuseHostilePackageNames(list);
    std::map<std::wstring, std::wstring> files;
    for (std::string line = pieces.Next(); !line.empty(); line = pieces.Next()) {
        const std::wstring text = fuzz::Widen(line);
        const std::size_t at = text.find(L'=');
        files[kSuite + text.substr(0, at)] = at == std::wstring::npos ? L"" : text.substr(at + 1);
    }

    DecisionMachine machine;
    machine.suiteDirectory = kSuite;
    machine.probe.fileExists = [&files](const std::wstring& path) {
        return files.count(path) > 0;
    };
    machine.probe.readString = [](const RegistryLocation&, const std::wstring& value) {
        return value == kValuePluginsPath ? std::wstring(L"C:\\P\\") : std::wstring();
    };
    machine.fileVersion = [&files](const std::wstring& path) {
        FUZZ_CHECK(!path.empty());
        const auto found = files.find(path);
        return found == files.end() ? std::wstring() : found->second;
    };
    machine.localAppData = [] { return std::wstring(L"C:\\L"); };

    DecisionResults results;
    DecideUpdates(list, options, machine, results);
    const std::wstring first = Decided(list);
    const std::wstring dependency = results.targetDependency;
    DecideUpdates(list, options, machine, results);
    FUZZ_CHECK(Decided(list) == first);
    FUZZ_CHECK(results.targetDependency == dependency);

    std::set<std::wstring> named;  // tags a handled entry's depend text names
    for (const auto& item : list) {
        FUZZ_CHECK(!item->nameRefused || !item->updateNeeded);
        if (!options.suiteMode && (item->tag == options.targetProduct || item->tag == L"tallix")) {
            for (const std::wstring& token : Tokens(item->depend)) {
                named.insert(token);
            }
        }
    }
    if (!options.suiteMode) {
        const bool calendar = options.targetProduct == L"dayloom";
        for (const auto& item : list) {
            const bool handled = item->tag == options.targetProduct || item->tag == L"tallix" ||
                                 named.count(item->tag) > 0 ||
                                 (calendar && item->placementKind == 1);
            FUZZ_CHECK(handled || (!item->updateNeeded && item->installedVersion.empty()));
        }
    }
    FUZZ_CHECK(TargetUpdateAvailable(list, options.targetProduct) ==
               ReferenceTargetUpdate(list, options.targetProduct));

    // The watch, fed the dependency list in pieces, against a search of what it was fed.
    std::vector<std::wstring> patterns;
    for (const auto& item : list) {
        patterns.push_back(item->depend);
    }
    SubstringWatch watch(patterns);
    std::wstring fed;
    for (const auto& item : list) {
        const std::wstring piece = item->tag + L",";
        watch.Feed(piece);
        fed += piece;
        for (const std::wstring& pattern : patterns) {
            FUZZ_CHECK(watch.Seen(pattern) == Contains(fed, pattern));
        }
    }
    return 0;
}
