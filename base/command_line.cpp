#include "base/command_line.h"

#include <array>
#include <limits>

#include "base/text.h"

namespace {

struct ToolCodeRow {
    const wchar_t* word;
    const wchar_t* code;
};

// The suite's individual tools and their setup package codes, in search order. A key is matched
// against the words in this order, so a word that contains another must stand before it.
constexpr std::array<ToolCodeRow, 24> kToolCodes = {{
    {L"pinnace", L"u21"},    {L"heatwatch", L"u23"},  {L"linkward", L"u24"},
    {L"glasswisp", L"u26"},  {L"reedmark", L"u27"},   {L"driftnote", L"u29"},
    {L"quillbox", L"u30"},   {L"snapreel", L"u32"},   {L"portmoor", L"u33"},
    {L"tidemark", L"u35"},   {L"ashgrove", L"u36"},   {L"cinderlog", L"u38"},
    {L"wickfold", L"u39"},   {L"brightpane", L"u41"}, {L"stoneway", L"u42"},
    {L"fernclock", L"u44"},  {L"mossdrive", L"u45"},  {L"lanternkey", L"u47"},
    {L"saltwind", L"u48"},   {L"emberscan", L"u50"},  {L"rookhall", L"u52"},
    {L"velvetdisk", L"u53"}, {L"harborlink", L"u55"}, {L"thornpad", L"u58"},
}};

constexpr int kWindows7Code = 23;

// Reads the leading decimal digits as a number; none gives 0. A value beyond 32 bits cannot be
// a window handle, so it saturates rather than wrapping onto some other window.
std::uint32_t LeadingNumber(const std::wstring& text) {
    std::uint64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            break;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - L'0');
        if (value > std::numeric_limits<std::uint32_t>::max()) {
            return std::numeric_limits<std::uint32_t>::max();
        }
    }
    return static_cast<std::uint32_t>(value);
}

void ApplyWord(const std::wstring& word, SessionOptions& o) {
    if (word == L"helvor" || word == L"keldra" || word == L"keldra6") {
        o.suiteCaller = true;
    } else if (word == L"silent") {
        o.silent = true;
    } else if (Contains(word, L"notice")) {
        o.notice = true;
        std::wstring number = word;
        if (Contains(number, L":")) {
            number = ReplaceAll(number, L"notice:", L"");
        }
        o.noticeWindow = LeadingNumber(number);
    } else if (word == L"enforce") {
        o.enforce = true;
    } else if (word == L"execute") {
        o.execute = true;
    } else if (word == L"norun") {
        o.noRun = true;
    } else if (word == L"directruninerface") {
        o.directRunInterface = true;
    } else if (word == L"resetnew") {
        o.resetNew = true;
        o.commandLine = TrimRight(ReplaceAll(o.commandLine, L"-resetnew", L""));
    } else if (word.compare(0, 3, L"tc_") == 0) {
        o.toolCodeGiven = true;
        std::wstring rest = word.substr(3);
        o.toolCode = (Contains(word, L"tc_u") || Contains(word, L"tc_i")) ? rest : L"u" + rest;
    } else if (EqualsNoCase(word, L"installpackage")) {
        o.installPackage = true;
    } else if (!word.empty() && word[0] == L'v' && word.find(L'.', 1) != std::wstring::npos) {
        o.requestedVersion = word.substr(1);
    } else if (Contains(word, L"from")) {
        std::wstring value = word;
        if (Contains(value, L":")) {
            value = ReplaceAll(value, L"from:", L"");
        }
        o.fromValue = value;
        if (EqualsNoCase(value, L"_Keldra_LunarCalendar") ||
            EqualsNoCase(value, L"_SkyDial_LunarCalendar")) {
            o.fromCalendar = true;
        }
    } else if (Contains(word, L"wardel_upgrade")) {
        o.guardUpgrade = true;
    } else if (Contains(word, L"wardel_x64")) {
        o.guardX64 = true;
    }
}

}  // namespace

std::vector<std::wstring> SplitSwitchWords(std::wstring text) {
    text = ToLowerAscii(text);
    text += L'-';
    text = Trim(text);
    text.erase(0, 1);
    std::vector<std::wstring> words;
    for (std::size_t dash = text.find(L'-'); !text.empty() && dash != std::wstring::npos;
         dash = text.find(L'-')) {
        words.push_back(Trim(text.substr(0, dash)));
        text.erase(0, dash + 1);
    }
    return words;
}

void ParseCommandLine(std::wstring text, SessionOptions& options,
                      const std::function<int()>& osCode) {
    SessionOptions fresh;
    fresh.commandLine = options.commandLine;
    options = fresh;

    const std::vector<std::wstring> words = SplitSwitchWords(std::move(text));
    for (const std::wstring& word : words) {
        options.productKey = words.front();
        ApplyWord(word, options);
    }
    // The sibling setup ships a separate package for systems older than Windows 7.
    if (!options.suiteCaller && Contains(options.productKey, L"marlowsetup") &&
        osCode() < kWindows7Code) {
        options.productKey = L"marlowsetup_xp";
    }
}

std::wstring ElevatedParameters(const SessionOptions& options) {
    if (options.resetNew && !Contains(ToLowerAscii(options.commandLine), L"-resetnew")) {
        return options.commandLine + L" -resetnew";
    }
    return options.commandLine;
}

std::wstring ToolCodeFor(const std::wstring& productKey) {
    for (const ToolCodeRow& row : kToolCodes) {
        if (Contains(productKey, row.word)) {
            return row.code;
        }
    }
    return std::wstring();
}

SessionOptions& Options() {
    static SessionOptions options;
    return options;
}
