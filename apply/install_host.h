// The update session as the installers see it: what they read and write on it, and the window
// operations they ask for. The session implements this; the installers never reach the session's
// or the window's own classes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "apply/apply_plan.h"
#include "manifest/update_decision.h"
#include "manifest/update_item.h"
#include "manifest/update_list.h"

// The change notes of one history entry, for the calendar's staged update record.
struct HistoryNote {
    std::wstring tag;
    std::wstring notes;
    std::wstring version;
};

// What the installers keep on the session from one item to the next.
struct InstallSession {
    RelaunchList relaunch;         // only ever appended to
    bool guardDllSelected = true;  // rewritten by each guard item
    bool guardExeSelected = true;
};

class InstallHost {
  public:
    virtual ~InstallHost() = default;

    virtual HWND Hwnd() const = 0;
    virtual const std::wstring& ModuleDir() const = 0;  // with its trailing backslash
    virtual UpdateList& Items() = 0;
    // The current product's fields and the target's dependency list.
    virtual const DecisionResults& Decision() const = 0;
    // The main-setup URL among the upgrade manifest's values.
    virtual const UpgradeReaderState& UpgradeState() const = 0;
    virtual std::vector<HistoryNote> HistoryNotes() const = 0;
    virtual InstallSession& Installation() = 0;

    virtual int CurrentJobKind() const = 0;
    virtual bool Keldra6WasVisible() const = 0;
    virtual void SetStartReason(int reason) = 0;
    virtual void SetInstalling(bool installing) = 0;
    virtual void SetDisplayedPercent(double percent) = 0;
    virtual void RepaintProgress() = 0;
    virtual void RepaintWindow() = 0;

    // The frame and its shadow; all three windows; the frame (not activated) and its shadow.
    virtual void HideFrameAndShadowWindows() = 0;
    virtual void HideAllWindows() = 0;
    virtual void ShowForClick() = 0;

    // Sends a caller's record (command 1, the product key, the last package path) to the notice
    // window, whatever the switches say; nothing happens when there is no notice window.
    virtual void SendCallerRecord(std::uint32_t status, std::uint32_t percent) = 0;
};
