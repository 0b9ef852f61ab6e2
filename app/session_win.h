// One update session: the check, its outcome, the job, the install, the finish and the close
// with its reports. It owns the session's data and is what the download jobs and the installers
// work for; it reaches the window only through `SessionView`.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/session_rules.h"
#include "apply/install_host.h"
#include "download/job_host_win.h"
#include "manifest/manifest_document_win.h"
#include "manifest/settings_manifest.h"
#include "manifest/update_decision.h"
#include "manifest/update_item.h"
#include "manifest/update_list.h"
#include "ui/session_view.h"

constexpr UINT_PTR kAutoCloseTimer = 100;
constexpr UINT kAutoCloseMs = 5000;

class UpdateSession : public SessionInput, public JobHost, public InstallHost {
  public:
    explicit UpdateSession(SessionView& view);
    UpdateSession(const UpdateSession&) = delete;
    UpdateSession& operator=(const UpdateSession&) = delete;

    // Shows or hides the frame by the show rule and the check's end, once the window's creation
    // (and with it the check) has returned.
    void ApplyShowRule();

    // What the window hands on (session_win.cpp).
    void Begin() override;
    bool CloseRequested() override;
    void Click(const ClickAt& at) override;
    void CallerRecord(WPARAM sender, const void* data, std::size_t size) override;
    void Timer(UINT_PTR id) override;
    bool SessionMessage(UINT message, LRESULT& result) override;
    FrameView Picture() const override;
    CursorInputs Cursor() const override;

    // What the download jobs read and write (session_host_win.cpp).
    HWND JobWindow() const override;
    const std::wstring& ModuleDir() const override { return moduleDir_; }
    UpdateList& Items() override { return items_; }
    const std::wstring& UserUpgradeFolder() const override { return userUpgradeFolder_; }
    void SetUserUpgradeFolder(const std::wstring& folder) override { userUpgradeFolder_ = folder; }
    std::wstring DownloadIp() const override { return settings_.downloadAddress; }
    std::vector<std::wstring> HijackMarkers() const override { return settings_.hijackNames; }
    std::wstring MainSetupUrl() const override { return upgrade_.mainSetupUrl; }
    std::wstring MainSetupFileName() const override { return upgrade_.mainSetupFileName; }
    std::wstring DownloadBase() const override { return upgrade_.downloadBase; }
    std::wstring LatestUpdaterVersion() const override { return upgrade_.latestUpdaterVersion; }

    // What the installers read and write (session_host_win.cpp; the rest is above).
    HWND Hwnd() const override;
    const DecisionResults& Decision() const override { return decision_; }
    const UpgradeReaderState& UpgradeState() const override { return upgrade_; }
    std::vector<HistoryNote> HistoryNotes() const override;
    InstallSession& Installation() override { return installation_; }
    int CurrentJobKind() const override { return jobKind_; }
    bool Keldra6WasVisible() const override { return keldra6Visible_; }
    void SetStartReason(int reason) override { startReason_ = reason; }
    void SetInstalling(bool installing) override { installing_ = installing; }
    void SetDisplayedPercent(double percent) override;
    void RepaintProgress() override;
    void RepaintWindow() override;
    void HideFrameAndShadowWindows() override;
    void HideAllWindows() override;
    void ShowForClick() override;
    void SendCallerRecord(std::uint32_t status, std::uint32_t percent) override;

  private:
    // The check and its outcomes (session_check_win.cpp).
    void CheckForUpdates();
    void EndWithoutManifest();
    void RunDecision();
    bool GuardCheckTooSoon();
    bool ProductInstalled() const;
    void FinishWithoutUpdates();
    void FinishWithUpdates();
    void HandOffEnforcedItems();
    void ShowHistoryPage();
    void EndCheck();

    // The job and the clicks (session_win.cpp).
    void OnJobStep();
    void StartJobOfKind();
    void PostJobStep(int startReason);
    void CloseByClick();
    void ToggleHistory();
    void InstallSuite();
    void StartAutoCloseTimer();
    // Ends the session: WM_CLOSE is posted (a check that posts it leaves the window unseen).
    void PostClose();

    SessionView& view_;

    std::wstring moduleDir_;
    std::wstring userUpgradeFolder_;
    int jobKind_ = 0;
    int startReason_ = 0;
    int jobPercent_ = 0;
    bool productInstalled_ = false;
    bool interactive_ = true;
    bool suiteProduct_ = false;
    bool installing_ = false;
    bool keldra6Visible_ = false;
    bool closing_ = false;
    CheckEnd check_;  // how the check ended

    ManifestDocument document_;
    UpdaterSettings settings_;
    UpgradeReaderState upgrade_;
    DecisionResults decision_;
    UpdateList items_;
    InstallSession installation_;
};
