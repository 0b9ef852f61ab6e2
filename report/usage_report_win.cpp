// Usage reports are not built yet; closing sends nothing.
#include "report/usage_report_win.h"

void SendUsageReports(CMainFrame&) {}
