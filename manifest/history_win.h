// The history page shown in the panel below the window: the template file, the history
// manifest's records and the page built from them.
#pragma once

#include <string>
#include <vector>

#include "manifest/history.h"
#include "manifest/manifest_document_win.h"
#include "manifest/update_list.h"

// "history.html" in the user's temporary folder: the template, then the page.
std::wstring HistoryPagePath();

// The process-wide history records, in manifest order; the list only grows.
std::vector<HistoryRecord>& HistoryRecords();

// Writes the page template (resource "RES" 238) to `path`: an existing file that cannot be
// deleted is moved aside to "<path>.<ticks>.tmp" and deleted at the next restart (false when even
// that fails); up to five attempts 20 ms apart; the file is marked hidden. File-system
// redirection is off meanwhile where the system has it.
bool WriteHistoryTemplate(const std::wstring& path);

// Reads the history manifest (the variant for `moduleDir` and the settings' version-6 switch)
// into the records and copies the update items' fields into them; the caller runs the update
// decision again. True when the manifest yielded history entries.
bool ReadHistoryManifest(ManifestDocument& document, const std::wstring& moduleDir,
                         bool version6Switch, UpdateList& items);

// Builds the page from the template file and the records, in place of the template; the target's
// depend text is taken from `items`. False when there is no template file, and so no page to show.
bool BuildHistoryPage(const UpdateList& items, HistoryPageInputs in);

// Opens `url` in the user's web browser: the shell's "open", else (Windows 8 and later) the
// default browser's program, else Internet Explorer.
void OpenWebAddress(const std::wstring& url);
