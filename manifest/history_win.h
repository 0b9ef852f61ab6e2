// The history page shown in the panel below the window.
#pragma once

class CMainFrame;

// Prepares the page template from the resources.
void PrepareHistoryTemplate(CMainFrame& frame);

// Reads the history manifest, then runs the update decision again. True when the manifest
// yielded history entries.
bool ReadHistoryManifest(CMainFrame& frame);

// Renders the page from the template and the history entries and shows it in the panel.
void BuildHistoryPage(CMainFrame& frame);
