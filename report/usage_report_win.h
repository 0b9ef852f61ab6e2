// The reports sent when the window closes.
#pragma once

class CMainFrame;

// Sends the close-time usage reports, synchronously.
void SendUsageReports(CMainFrame& frame);
