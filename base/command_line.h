// The updater's switches and the one process-wide record they fill.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct SessionOptions {
    std::wstring commandLine;  // as received; only "resetnew" edits it
    std::wstring productKey;   // the first word
    bool suiteCaller = false;
    bool silent = false;
    bool notice = false;
    std::uint32_t noticeWindow = 0;  // 32-bit window handle value
    bool resetNew = false;
    bool enforce = false;
    bool execute = false;
    bool directRunInterface = false;
    bool noRun = false;
    bool toolCodeGiven = false;
    std::wstring toolCode;
    bool installPackage = false;
    std::wstring requestedVersion;
    std::wstring fromValue = L"_Keldra";
    bool fromCalendar = false;
    bool guardUpgrade = false;
    bool guardX64 = false;
};

// Splits the text after the executable name into its dash-separated words: lower-cased first,
// "-" is the only separator, the first character of the line is dropped whatever it is, and
// every word is trimmed of blanks (empty words are kept).
std::vector<std::wstring> SplitSwitchWords(std::wstring text);

// Resets every field of `options` except `commandLine`, then fills them from `text` (the command
// line without the executable name). Never fails: unknown words are ignored. `osCode` is asked
// for the operating-system code only when the "marlowsetup" rule needs it.
void ParseCommandLine(std::wstring text, SessionOptions& options,
                      const std::function<int()>& osCode);

// The parameters of the elevated relaunch after a failed write test: the command line as stored.
// A relocation process (whose stored line has lost its "-resetnew") gets the word back, so the
// elevated copy relocates too instead of running a check from the upgrade folder.
std::wstring ElevatedParameters(const SessionOptions& options);

// The package code of the first tool-code row whose tool word occurs in `productKey`
// (case-sensitive substring search), or an empty string.
std::wstring ToolCodeFor(const std::wstring& productKey);

// The process-wide record, filled once at start-up before any thread is started.
SessionOptions& Options();
