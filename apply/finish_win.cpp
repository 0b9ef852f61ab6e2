// Installing and relaunching are not built yet: with no job able to download a package these
// handlers are never reached with anything to install.
#include "apply/finish_win.h"

LRESULT OnDownloadDone(CMainFrame&) {
    return 0;
}
LRESULT OnEnforceDone(CMainFrame&) {
    return 0;
}
LRESULT OnPackageDone(CMainFrame&) {
    return 0;
}
void RunFinishingAction(CMainFrame&) {}
void RunGuardUpgrade(CMainFrame&) {}
