// The updater's only top-level window. Its creation runs the whole update check; afterwards it
// is driven by messages: the jobs' private messages, its timer, the mouse, records from the
// calling program and finally WM_CLOSE.
#pragma once

#include <windows.h>

#include <string>

#include "base/unique_handle_win.h"
#include "apply/install_host.h"
#include "download/job_host_win.h"
#include "manifest/manifest_document_win.h"
#include "manifest/settings_manifest.h"
#include "manifest/update_decision.h"
#include "manifest/update_item.h"
#include "manifest/update_list.h"
#include "ui/companions_win.h"
#include "ui/frame_picture.h"
#include "ui/frame_rules.h"
#include "ui/skin_win.h"

inline const wchar_t kFrameClassName[] = L"_tallix_orvane";
inline const wchar_t kFrameTitle[] = L"升级程序 - Orvane";
constexpr UINT_PTR kAutoCloseTimer = 100;
constexpr UINT kAutoCloseMs = 5000;

class CMainFrame : public JobHost, public InstallHost {
  public:
    CMainFrame() = default;
    ~CMainFrame() override;
    CMainFrame(const CMainFrame&) = delete;
    CMainFrame& operator=(const CMainFrame&) = delete;

    // Registers the class and creates the window; the check runs before this returns.
    HWND Create(HINSTANCE instance);
    HWND Hwnd() const override { return hwnd_; }

    // Shows or hides the frame and its shadow by the show rule.
    void ApplyShowRule();

    // What the check and the jobs read and write on the window.
    const std::wstring& ModuleDir() const override { return moduleDir_; }
    UpdateList& Items() override { return items_; }
    const UpdaterSettings& Settings() const { return settings_; }
    const UpgradeReaderState& UpgradeState() const override { return upgrade_; }
    const DecisionResults& Decision() const override { return decision_; }
    const std::wstring& UserUpgradeFolder() const override { return userUpgradeFolder_; }
    void SetUserUpgradeFolder(const std::wstring& folder) override { userUpgradeFolder_ = folder; }
    int StartReason() const { return startReason_; }
    void SetStartReason(int reason) override { startReason_ = reason; }
    bool Installing() const { return installing_; }
    void SetInstalling(bool installing) override { installing_ = installing; }
    int JobPercent() const { return jobPercent_; }

    // What the download jobs read (the rest of JobHost is above).
    HWND JobWindow() const override { return hwnd_; }
    std::wstring DownloadIp() const override { return settings_.downloadAddress; }
    std::vector<std::wstring> HijackMarkers() const override { return settings_.hijackNames; }
    std::wstring MainSetupUrl() const override { return upgrade_.mainSetupUrl; }
    std::wstring DownloadBase() const override { return upgrade_.downloadBase; }
    std::wstring LatestUpdaterVersion() const override { return upgrade_.latestUpdaterVersion; }

    // Runs the update decision over the list (after each manifest that can change it).
    void RunDecision();

    // What the history page and the painting read.
    ManifestDocument& Document() { return document_; }
    bool SuiteProduct() const { return suiteProduct_; }
    CHistoryDlg& History() { return history_; }
    // The window's state as the painting sees it.
    FrameView View() const;
    // What the installers read and write on the window (frame_install_win.cpp; the rest of
    // InstallHost is above).
    std::vector<HistoryNote> HistoryNotes() const override;
    InstallSession& Installation() override { return installation_; }
    int CurrentJobKind() const override { return jobKind_; }
    bool Keldra6WasVisible() const override { return keldra6Visible_; }
    void SetDisplayedPercent(double percent) override { displayedPercent_ = percent; }
    void RepaintProgress() override;
    void RepaintWindow() override;
    void HideFrameAndShadowWindows() override;
    void HideAllWindows() override;
    void ShowForClick() override;
    void SendCallerRecord(std::uint32_t status, std::uint32_t percent) override;

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT ProcessWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

    LRESULT OnCreate();
    void OnClose();
    LRESULT OnHitTest(LPARAM lParam) const;
    void OnMouseMove(LPARAM lParam);
    void OnNcMouseMove();
    void OnMouseLeave();
    void OnClick();
    void OnCopyData(WPARAM sender, const COPYDATASTRUCT* data);
    void OnTimer(WPARAM id);
    void OnJobStep();
    void StartJobOfKind();
    void OnPaint();
    void PaintTo(HDC dc);
    void LoadSkinImages();

    // The check routine and its pieces (check_win.cpp).
    void CheckForUpdates();
    bool RunGuardRateLimit();
    void FinishWithoutUpdates();
    void FinishWithUpdates();
    bool ProductInstalled() const;
    void InstallSuite();
    void StartAutoCloseTimer();
    void HideFrameAndShadow();
    // Ends the session: WM_CLOSE is posted and the window will not be shown any more.
    void PostClose();

    // Updates the three hover states from a client point; repaints what changed.
    void UpdateHover(POINT client);
    void Repaint(const RECT* area);

    // The skin and what the painting keeps between paints (frame_paint_win.cpp).
    FrameSkin skin_;
    double displayedPercent_ = 0;
    ProgressLook requestedLook_;  // of the latest picture painted or asked for by a progress step
    Rect buttonRect_ = kButtonRect;
    Rect suiteLinkRect_ = kSuiteLinkRect;

    HWND hwnd_ = nullptr;
    CShadowDlg shadow_;
    CHistoryDlg history_;

    int jobPercent_ = 0;
    int closeHover_ = 0;
    int buttonHover_ = 0;
    int barHover_ = 0;
    bool mouseTracking_ = false;

    std::wstring moduleDir_;
    std::wstring pluginsPath_;
    std::wstring userUpgradeFolder_;
    bool version6_ = false;
    int jobKind_ = 0;
    int startReason_ = 0;
    bool productInstalled_ = false;
    bool selfUpdatePending_ = false;
    bool interactive_ = true;
    bool suiteProduct_ = false;
    bool installing_ = false;
    bool keldra6Visible_ = false;
    bool closePosted_ = false;
    bool closing_ = false;

    UniqueIcon smallIcon_;
    ManifestDocument document_;
    UpdaterSettings settings_;
    UpgradeReaderState upgrade_;
    DecisionResults decision_;
    UpdateList items_;

    InstallSession installation_;
};
