#include "tools/publish/machine_profile.h"

#include "base/text.h"
#include "tools/publish/json_value.h"
#include "tools/publish/manifest_source.h"
#include "tools/publish/xml_view.h"

namespace {

std::wstring Wide(const std::string& text) {
    return Utf8ToUtf16(text);
}

bool IsAbsolute(const std::wstring& path) {
    return (path.size() >= 2 && path[1] == L':') || (!path.empty() && path[0] == L'\\');
}

std::wstring RegistryId(const RegistryLocation& key, const std::wstring& value) {
    return ToLowerAscii(
        std::wstring(key.root == RegistryRoot::kLocalMachine ? L"HKLM\\" : L"HKCU\\") + key.path +
        L"\\" + value);
}

}  // namespace

bool MachineProfile::FileExists(const std::wstring& path) const {
    return files.count(ToLowerAscii(path)) > 0;
}

std::wstring MachineProfile::FileVersion(const std::wstring& path) const {
    const auto found = files.find(ToLowerAscii(path));
    return found == files.end() ? std::wstring() : found->second;
}

bool MachineProfile::WindowExists(const std::wstring& className, bool mustBeVisible) const {
    for (const ProfileWindow& w : windows) {
        if (EqualsNoCase(w.className, className) && (w.visible || !mustBeVisible))
            return true;
    }
    return false;
}

DecisionMachine MachineProfile::Machine() const {
    DecisionMachine machine;
    machine.probe.wow64 = wow64;
    machine.probe.fileExists = [this](const std::wstring& path) { return FileExists(path); };
    machine.probe.readString = [this](const RegistryLocation& key, const std::wstring& value) {
        const auto found = registry.find(RegistryId(key, value));
        return found == registry.end() ? std::wstring() : found->second;
    };
    machine.fileVersion = [this](const std::wstring& path) { return FileVersion(path); };
    machine.localAppData = [this] { return localAppData; };
    machine.suiteDirectory = suiteDirectory;
    return machine;
}

std::optional<MachineProfile> ParseProfile(const std::string& json, std::string& error) {
    const std::optional<JsonValue> doc = ParseJson(json, error);
    if (!doc)
        return std::nullopt;
    if (doc->type != JsonValue::Type::kObject) {
        error = "a profile is a JSON object";
        return std::nullopt;
    }
    MachineProfile p;
    auto text = [&](const JsonValue* v, const char* what, std::string& into) {
        if (v == nullptr)
            return true;
        if (v->type != JsonValue::Type::kString) {
            error = std::string(what) + " must be a string";
            return false;
        }
        into = v->text;
        return true;
    };
    std::string value;
    if (!text(doc->Find("name"), "name", p.name))
        return std::nullopt;
    if (const JsonValue* system = doc->Find("system")) {
        if (const JsonValue* os = system->Find("osCode")) {
            // A code is a small whole number; anything else is refused before it is converted.
            if (os->type != JsonValue::Type::kNumber || !(os->number >= 0 && os->number <= 1000) ||
                os->number != static_cast<double>(static_cast<int>(os->number))) {
                error = "osCode must be a whole number from 0 to 1000";
                return std::nullopt;
            }
            p.osCode = static_cast<int>(os->number);
        }
        if (const JsonValue* w = system->Find("wow64"); w && w->type == JsonValue::Type::kBool) {
            p.wow64 = w->boolean;
        }
    }
    value.clear();
    if (!text(doc->Find("suiteDirectory"), "suiteDirectory", value))
        return std::nullopt;
    if (!value.empty()) {
        p.suiteDirectory = Wide(value);
        if (p.suiteDirectory.back() != L'\\')
            p.suiteDirectory += L'\\';
    }
    value.clear();
    if (!text(doc->Find("localAppData"), "localAppData", value))
        return std::nullopt;
    if (!value.empty())
        p.localAppData = Wide(value);
    if (const JsonValue* files = doc->Find("files")) {
        for (const auto& [name, version] : files->members) {
            if (version.type != JsonValue::Type::kString) {
                error = "the version of " + name + " must be a string";
                return std::nullopt;
            }
            const std::wstring path =
                IsAbsolute(Wide(name)) ? Wide(name) : p.suiteDirectory + Wide(name);
            p.files[ToLowerAscii(path)] = Wide(version.text);
        }
    }
    if (const JsonValue* registry = doc->Find("registry")) {
        for (const auto& [name, v] : registry->members) {
            if (v.type != JsonValue::Type::kString) {
                error = "registry value " + name + " must be a string";
                return std::nullopt;
            }
            p.registry[ToLowerAscii(Wide(name))] = Wide(v.text);
        }
    }
    if (const JsonValue* windows = doc->Find("windows")) {
        for (const JsonValue& w : windows->items) {
            ProfileWindow window;
            if (const JsonValue* c = w.Find("class"))
                window.className = Wide(c->text);
            if (const JsonValue* v = w.Find("visible"); v && v->type == JsonValue::Type::kBool) {
                window.visible = v->boolean;
            }
            p.windows.push_back(window);
        }
    }
    return p;
}

std::optional<MachineProfile> LoadProfile(const std::string& path, std::string& error) {
    const auto bytes = ReadFileBytes(path);
    if (!bytes) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    auto profile = ParseProfile(std::string(bytes->begin(), bytes->end()), error);
    if (profile) {
        profile->source = path;
        if (profile->name.empty())
            profile->name = path.substr(path.rfind('/') + 1);
    } else {
        error = path + ": " + error;
    }
    return profile;
}
