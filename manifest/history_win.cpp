// The history page is not built yet: no template is prepared, the history manifest is not
// fetched (so it yields no entries and no page is built), but the decision still runs again as it
// does after every read of a manifest.
#include "manifest/history_win.h"

#include "ui/main_frame_win.h"

void PrepareHistoryTemplate(CMainFrame&) {}

bool ReadHistoryManifest(CMainFrame& frame) {
    frame.RunDecision();
    return false;
}

void BuildHistoryPage(CMainFrame&) {}
