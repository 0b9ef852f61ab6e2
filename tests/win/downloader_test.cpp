// PLDownloader against the loopback server: what arrives on disk, the requests it sends, the
// redirect log and the events its callback sees; the progress it reports to a status window; the
// anomaly record of a package that failed a check.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <mutex>

#include "base/unique_handle_win.h"
#include "download/anomaly_win.h"
#include "download/download_records.h"
#include "download/downloader_status_win.h"
#include "download/pl_downloader_win.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

// Every event, in order: its kind (T, B, P or E) and the status it carried.
class RecordingCallback : public PLDownloadCallback {
  public:
    void OnTaskSet(PLDownloadStatus s) override { Add('T', s); }
    void OnBegin(PLDownloadStatus s) override { Add('B', s); }
    void OnProgress(PLDownloadStatus s) override { Add('P', s); }
    void OnEnd(PLDownloadStatus s) override { Add('E', s); }

    // The statuses of one kind, in order.
    std::vector<PLDownloadStatus> Of(char kind) {
        std::lock_guard<std::mutex> lock(lock_);
        std::vector<PLDownloadStatus> found;
        for (const auto& [k, s] : events_) {
            if (k == kind) {
                found.push_back(s);
            }
        }
        return found;
    }

  private:
    void Add(char kind, const PLDownloadStatus& s) {
        std::lock_guard<std::mutex> lock(lock_);
        events_.emplace_back(kind, s);
    }
    std::mutex lock_;
    std::vector<std::pair<char, PLDownloadStatus>> events_;
};

std::string Bytes(std::size_t size, unsigned seed) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        data[i] = static_cast<char>((i * 131 + seed) % 251);
    }
    return data;
}

class DownloaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_TEST_RUN();
        Redirects().Clear();
    }

    PLDownloadTask Task(const std::string& urlPath, int fresh = 1) {
        PLDownloadTask task;
        task.url = ServerOrigin() + Utf8ToWide(urlPath) + L"?skq=1";
        task.folder = folder_.Path();
        task.name = L"pkg.exe";
        task.path = destination_;
        task.freshDownload = fresh;
        return task;
    }

    // Starts a task on a new downloader (a response without Content-Length would keep the length
    // of the downloader's previous response) with new events; returns its thread.
    UniqueKernelHandle Start(const PLDownloadTask& task) {
        downloader_ = std::make_unique<PLDownloader>();
        events_ = std::make_unique<RecordingCallback>();
        downloader_->SetCallback(events_.get());
        downloader_->SetTask(task, 0);
        EXPECT_TRUE(downloader_->Start());
        return UniqueKernelHandle(downloader_->DuplicateThreadHandle());
    }

    // Waits for a task's thread to end; returns its exit code.
    static DWORD Finish(const UniqueKernelHandle& thread, DWORD timeoutMs = 30000) {
        EXPECT_EQ(WaitForSingleObject(thread.Get(), timeoutMs), WAIT_OBJECT_0);
        DWORD code = 99;
        GetExitCodeThread(thread.Get(), &code);
        return code;
    }

    std::string RequestHeader(const std::string& name) {
        const auto requests = log_.NewRequests();
        return requests.empty() ? "<no request>" : JsonString(requests.front().line, name);
    }

    TempFolder folder_;
    ServedFiles served_;
    ServerLog log_;
    const std::wstring destination_ = folder_.Path() + L"pkg.exe";
    std::unique_ptr<RecordingCallback> events_;
    std::unique_ptr<PLDownloader> downloader_;
};

TEST_F(DownloaderTest, PlainAnswerArrivesWholeWithTheRequestHeaders) {
    const std::string body = Bytes(50000, 1);
    served_.Put("/k/a/pkg.exe", body);
    EXPECT_EQ(Finish(Start(Task("/k/a/pkg.exe"))), 1u);
    EXPECT_EQ(ReadAll(destination_), body);
    EXPECT_FALSE(fs::exists(destination_ + L".tmp"));
    const PLDownloadStatus end = events_->Of('E').at(0);
    EXPECT_EQ(end.state, kDownloadCompleted);
    EXPECT_EQ(end.done, body.size());
    EXPECT_EQ(end.total, body.size());
    EXPECT_EQ(events_->Of('E').size(), 1u);
    EXPECT_GE(events_->Of('P').size(), 7u);  // one per block of at most 8 KiB
    EXPECT_EQ(RequestHeader("Range"), "bytes=0-");
    EXPECT_EQ(RequestHeader("Accept"), "*/*");
    EXPECT_EQ(RequestHeader("Referer"), WideToUtf8(ServerOrigin()) + "/k/a");
    EXPECT_EQ(FirstRequestStatus(), 206);  // the range of the whole file
    EXPECT_TRUE(Redirects().Snapshot().empty());
}

TEST_F(DownloaderTest, RedirectIsLoggedAndItsTargetDownloaded) {
    const std::string body = Bytes(3000, 2);
    served_.Put("/k/Target.exe", body);
    served_.SetRules(
        "{\"/k/pkg.exe\": {\"answer\": \"redirect\", \"status\": 302, \"location\": \" " +
        WideToUtf8(ServerOrigin()) + "/k/Target.exe \"}}");
    EXPECT_EQ(Finish(Start(Task("/k/pkg.exe"))), 1u);
    EXPECT_EQ(ReadAll(destination_), body);
    EXPECT_EQ(FirstRequestStatus(), 302);
    const auto redirects = Redirects().Snapshot();
    ASSERT_EQ(redirects.size(), 1u);
    EXPECT_EQ(redirects[0].name, L"pkg.exe");
    EXPECT_EQ(redirects[0].status, 302);
    EXPECT_EQ(redirects[0].path, destination_);
    EXPECT_EQ(redirects[0].location, ServerOrigin() + L"/k/target.exe");
    EXPECT_FALSE(redirects[0].reported);
}

// The redirect's target is its Location header, whatever other headers say "location:" first,
// and however long they are.
TEST_F(DownloaderTest, RedirectTargetIsTheLocationHeaderItself) {
    const std::string origin = WideToUtf8(ServerOrigin());
    served_.Put("/k/hijack/pkg.exe", Bytes(3000, 4));
    served_.SetRules("{\"/k/pkg.exe\": {\"answer\": \"redirect\", \"location\": \"" + origin +
                     "/k/hijack/pkg.exe\", \"headers\": {\"Content-Location\": \"" + origin +
                     "/k/clean.exe\", \"X-Note\": \"location: " + std::string(3000, 'n') + "\"}}}");
    EXPECT_EQ(Finish(Start(Task("/k/pkg.exe"))), 1u);
    const auto redirects = Redirects().Snapshot();
    ASSERT_EQ(redirects.size(), 1u);
    EXPECT_EQ(redirects[0].location, ServerOrigin() + L"/k/hijack/pkg.exe");
}

// The file is opened by its UTF-16 path: a folder outside the ANSI code page is written, and a
// fullwidth reverse solidus stays a character of the name instead of becoming a separator.
TEST_F(DownloaderTest, FileOpenedByItsWidePath) {
    const std::string body = Bytes(20000, 6);
    served_.Put("/k/pkg.exe", body);
    const std::wstring folder = folder_.Path() + L"\u5957\u4EF6 \u76EE\u5F55\\";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    for (const std::wstring& name : {std::wstring(L"pkg.exe"), std::wstring(L"..\uFF3Cpkg.exe")}) {
        PLDownloadTask task = Task("/k/pkg.exe");
        task.path = folder + name;
        EXPECT_EQ(Finish(Start(task)), 1u);
        EXPECT_EQ(events_->Of('E').at(0).state, kDownloadCompleted);
        EXPECT_EQ(ReadAll(task.path), body);
    }
    EXPECT_FALSE(fs::exists(folder_.Path() + L"pkg.exe.tmp"));
    EXPECT_FALSE(fs::exists(folder_.Path() + L"pkg.exe"));
}

// A temporary file of 1000 bytes is resumed, or emptied for a fresh download.
TEST_F(DownloaderTest, ResumeOrFreshStartFromTheTemporaryFile) {
    const std::string body = Bytes(5000, 3);
    served_.Put("/k/pkg.exe", body);
    for (const int fresh : {0, 1}) {
        SCOPED_TRACE(fresh);
        log_ = ServerLog();
        fs::remove(destination_);
        WriteAll(destination_ + L".tmp", fresh ? std::string(1000, 'x') : body.substr(0, 1000));
        EXPECT_EQ(Finish(Start(Task("/k/pkg.exe", fresh))), 1u);
        EXPECT_EQ(RequestHeader("Range"), fresh ? "bytes=0-" : "bytes=1000-");
        const PLDownloadStatus begin = events_->Of('B').at(0);
        EXPECT_EQ(begin.done, fresh ? 0u : 1000u);
        EXPECT_EQ(begin.total, 5000u);  // what was there plus what is announced
        EXPECT_EQ(downloader_->Task().resumeOffset, fresh ? 0 : 1000);
        EXPECT_EQ(ReadAll(destination_), body);
    }
}

// Bodies that do not arrive whole, and ones without a length, whole or cut by the server closing
// the connection, which the downloader cannot tell from the end (the jobs' wholeness check can).
TEST_F(DownloaderTest, EndStatesOfDamagedAnswers) {
    const std::string body = Bytes(20000, 5);
    served_.Put("/k/pkg.exe", body);
    struct Case {
        const char* rules;
        std::int32_t state;
        std::uint64_t done;
        bool renamed;
    } cases[] = {
        {"{\"/k/pkg.exe\": {\"answer\": \"empty\"}}", kDownloadFailed, 0, false},
        {"{\"/k/pkg.exe\": {\"answer\": \"cut\", \"bytes\": 12000}}", kDownloadFailed, 12000,
         false},
        {"{\"/k/pkg.exe\": {\"answer\": \"nolength\"}}", kDownloadCompleted, 20000, true},
        {"{\"/k/pkg.exe\": {\"answer\": \"nolength\", \"bytes\": 12000}}", kDownloadCompleted,
         12000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rules);
        fs::remove(destination_);
        fs::remove(destination_ + L".tmp");
        served_.SetRules(c.rules);
        Finish(Start(Task("/k/pkg.exe")));
        const PLDownloadStatus end = events_->Of('E').at(0);
        EXPECT_EQ(end.state, c.state);
        EXPECT_EQ(end.done, c.done);
        EXPECT_EQ(fs::exists(destination_), c.renamed);
        if (c.renamed) {
            EXPECT_EQ(end.total, 0u);  // no length: the status window is not told it is done
            EXPECT_TRUE(ReadAll(destination_) == body.substr(0, c.done));
        } else if (c.done > 0) {
            EXPECT_TRUE(ReadAll(destination_ + L".tmp") == body.substr(0, c.done));
        }
    }
}

TEST_F(DownloaderTest, ExistingDestinationIsNotReplaced) {
    served_.Put("/k/pkg.exe", Bytes(4000, 6));
    WriteAll(destination_, "old");
    EXPECT_EQ(Finish(Start(Task("/k/pkg.exe"))), 1u);
    const PLDownloadStatus end = events_->Of('E').at(0);
    EXPECT_EQ(end.state, kDownloadCompleted);
    EXPECT_EQ(end.done, 3u);  // the destination's size
    EXPECT_EQ(ReadAll(destination_), "old");
    EXPECT_EQ(fs::file_size(destination_ + L".tmp"), 4000u);
}

TEST_F(DownloaderTest, StopEndsAReceivingThreadWithOneEnd) {
    served_.Put("/k/pkg.exe", Bytes(100000, 7));
    served_.SetRules("{\"/k/pkg.exe\": {\"answer\": \"stall\", \"bytes\": 30000, \"seconds\": 4}}");
    const UniqueKernelHandle thread = Start(Task("/k/pkg.exe"));
    auto received = [this] {
        const auto progress = events_->Of('P');
        return progress.empty() ? 0 : progress.back().done;
    };
    // A read returns whole 8 KiB blocks only: three of the 30000 bytes sent arrive before the
    // stall.
    PumpUntil(4000, [&] { return received() >= 3 * 8192; });
    ASSERT_EQ(received(), 3u * 8192);
    downloader_->Stop();
    EXPECT_EQ(downloader_->State(), kDownloadStopped);
    // Under Wine a closed request handle does not cut short a read that waits for data: the
    // thread ends when the server closes the connection.
    ASSERT_EQ(Finish(thread, 10000), 0u);
    EXPECT_EQ(events_->Of('E').size(), 1u);
    EXPECT_EQ(events_->Of('E').at(0).state, kDownloadStopped);
    EXPECT_FALSE(fs::exists(destination_));
    EXPECT_TRUE(fs::exists(destination_ + L".tmp"));
}

TEST_F(DownloaderTest, NewTaskWhileAThreadReceivesKeepsTheOldThreadOutOfTheNewRun) {
    // Both answers stall with bytes unread; the old one wakes first, while the new run (to the
    // same file) still receives.
    const std::string newBody = Bytes(100000, 9);
    served_.Put("/k/old.exe", Bytes(100000, 7));
    served_.Put("/k/new.exe", newBody);
    served_.SetRules(
        "{\"/k/old.exe\": {\"answer\": \"stall\", \"bytes\": 30000, \"seconds\": 2},"
        " \"/k/new.exe\": {\"answer\": \"stall\", \"bytes\": 30000, \"seconds\": 4}}");
    const UniqueKernelHandle old = Start(Task("/k/old.exe"));
    PumpUntil(4000, [this] {
        return !events_->Of('P').empty() && events_->Of('P').back().done >= 3 * 8192;
    });
    downloader_->SetTask(Task("/k/new.exe"), 0);
    ASSERT_TRUE(downloader_->Start());
    const UniqueKernelHandle next(downloader_->DuplicateThreadHandle());
    EXPECT_EQ(Finish(old, 10000), 0u);  // abandoned: no rename, no end of its own
    EXPECT_EQ(Finish(next, 10000), 1u);
    // The new run's file holds its own bytes only, and the one end is the new run's.
    EXPECT_TRUE(ReadAll(destination_ + L".tmp") == newBody.substr(0, 30000));
    const auto ends = events_->Of('E');
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_NE(ends[0].url.find(L"/k/new.exe"), std::wstring::npos);
    EXPECT_EQ(ends[0].state, kDownloadFailed);
}

TEST(DownloaderStatus, PercentAndMessageOnProgress) {
    CDownloaderStatus_Enforce status;
    EXPECT_EQ(status.Message(), UM_ENFORCE_STEP);
    PLDownloadStatus s;
    s.done = 50;
    s.total = 200;
    status.SetWindow(nullptr);  // no window: the percent still moves
    status.OnProgress(s);
    EXPECT_EQ(status.Percent(), 25);
    s.state = kDownloadCompleted;
    s.total = 0;
    status.OnEnd(s);
    EXPECT_FALSE(status.Done());
    s.total = 10;
    status.OnEnd(s);
    EXPECT_TRUE(status.Done());
    status.OnBegin(s);
    EXPECT_FALSE(status.Done());
    EXPECT_EQ(status.Percent(), 0);
    EXPECT_EQ(CDownloaderStatus_Union().Message(), UM_PACKAGE_STEP);
    EXPECT_EQ(CDownloaderStatus().Message(), UM_DOWNLOAD_STEP);
}

// What is read from the file, and one record per signer and file name.
TEST(RecordDownloadAnomaly, FieldsFromTheFile) {
    Anomalies().Clear();
    TempFolder folder;
    const std::wstring page = folder.Path() + L"keldra.exe";
    WriteAll(page, "<html>error page</html>");
    SetFirstRequestStatus(302);
    RecordDownloadAnomaly(page, L"fabrikam");
    const std::wstring stub = StubFolder("keldra-6.0.0.1") + L"keldra.exe";
    RecordDownloadAnomaly(stub, L"");
    RecordDownloadAnomaly(folder.Path() + L"missing.exe", L"x");
    // The same signer and file name in another case: no second record.
    RecordDownloadAnomaly(folder.Path() + L"KELDRA.EXE", L"FABRIKAM");

    const std::vector<DownloadAnomaly> records = Anomalies().Snapshot();
    ASSERT_EQ(records.size(), 3u);
    const DownloadAnomaly& text = records[0];
    EXPECT_EQ(text.fileName, L"keldra.exe");
    EXPECT_EQ(text.signer, L"fabrikam");
    EXPECT_EQ(text.productVersion, L"");
    EXPECT_EQ(text.fileSize, 23u);
    EXPECT_TRUE(text.exists);
    EXPECT_EQ(text.firstRequestStatus, 302);
    EXPECT_EQ(text.fileText, L"<html>error page</html>");

    const DownloadAnomaly& versioned = records[1];
    EXPECT_EQ(versioned.productVersion, L"6.0.0.1");
    EXPECT_EQ(versioned.originalFileName, L"keldra.exe");
    EXPECT_EQ(versioned.productName, L"Keldra");  // the stub names its product as a program does
    EXPECT_EQ(versioned.fileSize, fs::file_size(fs::path(stub)));
    EXPECT_EQ(versioned.fileText, L"");  // a file with a version resource keeps no text

    const DownloadAnomaly& missing = records[2];
    EXPECT_EQ(missing.fileName, L"missing.exe");
    EXPECT_FALSE(missing.exists);
    EXPECT_EQ(missing.fileSize, 0u);
    Anomalies().Clear();
}

}  // namespace
