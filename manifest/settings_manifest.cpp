#include "manifest/settings_manifest.h"

#include "base/text.h"

const wchar_t kBuiltInAnnouncement[] =
    L"全新一代，OrvaneHelvor6.0正式版惊艳发布，"
    L"从昔年5代产品的手动档华丽丽变身为手自一体，一键化、自动化、"
    L"智能化、傻瓜化解决您的问题。更轻松切换到专业模式，让您感受到扑鼻而来的那份熟悉，"
    L"绿色、强悍更胜从前。";

namespace {

// The children of "EUPP" are read and recognised ("mp", "se", "egmp", "egse"), but the updater
// takes nothing from them. Reading them still matters: a failing node ends the walk.
bool ReadEupp(const ManifestNode& eupp) {
    return ForEachChild(eupp, [](const ManifestNode& child, const std::wstring&) {
        std::wstring text;
        return child.Text(text);
    });
}

enum class Setting {
    kOther,
    kEupp,
    kDownloadAddress,
    kVersion6Switch,
    kAnnouncement,
    kHijackNames
};

struct SettingName {
    const wchar_t* name;
    Setting setting;
};

constexpr SettingName kSettingNames[] = {
    {L"EUPP", Setting::kEupp},
    {L"downip", Setting::kDownloadAddress},
    {L"upkeldra6", Setting::kVersion6Switch},
    {L"history", Setting::kAnnouncement},
    {L"hijactname", Setting::kHijackNames},
};

Setting SettingNamed(const std::wstring& name) {
    for (const SettingName& entry : kSettingNames) {
        if (EqualsNoCase(name, entry.name)) {
            return entry.setting;
        }
    }
    return Setting::kOther;
}

// Applies one child of the root. False when the XML component failed.
bool ApplySetting(const ManifestNode& child, const std::wstring& name, UpdaterSettings& settings) {
    const Setting setting = SettingNamed(name);
    if (setting == Setting::kOther) {
        return true;
    }
    if (setting == Setting::kEupp) {
        return ReadEupp(child);
    }
    std::wstring text;
    if (!child.Text(text)) {
        return false;
    }
    switch (setting) {
        case Setting::kDownloadAddress:
            settings.downloadAddress = text;  // even when empty
            break;
        case Setting::kVersion6Switch:
            settings.version6Switch = text == L"1";
            break;
        case Setting::kAnnouncement:
            settings.announcement = text.empty() ? std::wstring(kBuiltInAnnouncement) : text;
            break;
        case Setting::kHijackNames:
            AppendHijackNames(text, settings.hijackNames);
            break;
        default:
            break;
    }
    return true;
}

}  // namespace

void AppendHijackNames(const std::wstring& text, std::vector<std::wstring>& names) {
    const std::size_t first = text.find_first_not_of(L'|');
    if (first == std::wstring::npos) {
        return;
    }
    std::wstring rest = text.substr(first, text.find_last_not_of(L'|') - first + 1);
    // A bar at the start of what is left (two bars in a row) does not cut: the remaining text,
    // bar included, is then taken as the last name.
    while (!rest.empty()) {
        const std::size_t bar = rest.find(L'|');
        if (bar == std::wstring::npos || bar == 0) {
            names.push_back(rest);
            return;
        }
        names.push_back(rest.substr(0, bar));
        rest.erase(0, bar + 1);
    }
}

bool ReadSettingsManifest(const ManifestNode& root, UpdaterSettings& settings) {
    return ForEachChild(root, [&settings](const ManifestNode& child, const std::wstring& name) {
        return ApplySetting(child, name, settings);
    });
}

bool IsSettingsElementName(const std::wstring& name) {
    return SettingNamed(name) != Setting::kOther;
}
