// PLDownloader against the loopback server: what arrives on disk, the requests it sends, the
// redirect log and the events its callback sees.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>

#include "app/unique_handle_win.h"
#include "download/download_records.h"
#include "download/downloader_status_win.h"
#include "download/pl_downloader_win.h"
#include "loopback_server_support.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

// Every event, in order, with the status it carried.
class RecordingCallback : public PLDownloadCallback {
  public:
    void OnTaskSet(PLDownloadStatus s) override { Add('T', s); }
    void OnBegin(PLDownloadStatus s) override { Add('B', s); }
    void OnProgress(PLDownloadStatus s) override { Add('P', s); }
    void OnEnd(PLDownloadStatus s) override { Add('E', s); }

    std::vector<std::pair<char, PLDownloadStatus>> Events() {
        std::lock_guard<std::mutex> lock(lock_);
        return events_;
    }
    // The first event of a kind; a default status when there is none.
    PLDownloadStatus First(char kind) {
        for (const auto& [k, s] : Events()) {
            if (k == kind) {
                return s;
            }
        }
        return {};
    }
    int Count(char kind) {
        int n = 0;
        for (const auto& event : Events()) {
            n += event.first == kind;
        }
        return n;
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

std::string ReadAll(const std::wstring& path) {
    std::ifstream in{fs::path(path), std::ios::binary};
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::wstring& path, const std::string& data) {
    std::ofstream(fs::path(path), std::ios::binary | std::ios::trunc)
        .write(data.data(), data.size());
}

class DownloaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_LOOPBACK_SERVER();
        destination_ = folder_.Path() + L"pkg.exe";
        downloader_.SetCallback(&events_);
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

    // Runs a task to its end; returns the thread's exit code.
    DWORD Run(const PLDownloadTask& task) {
        downloader_.SetTask(task, 0);
        EXPECT_TRUE(downloader_.Start());
        UniqueHandle<KernelHandleTraits> thread(downloader_.DuplicateThreadHandle());
        EXPECT_EQ(WaitForSingleObject(thread.Get(), 30000), WAIT_OBJECT_0);
        DWORD code = 99;
        GetExitCodeThread(thread.Get(), &code);
        return code;
    }

    std::string RequestHeader(const std::string& name) {
        const auto requests = log_.NewRequests();
        if (requests.empty()) {
            return "<no request>";
        }
        const std::string& line = requests.front().line;
        const std::string marker = "\"" + name + "\": \"";
        const std::size_t at = line.find(marker);
        if (at == std::string::npos) {
            return "";
        }
        const std::size_t from = at + marker.size();
        return line.substr(from, line.find('"', from) - from);
    }

    TempFolder folder_;
    ServedFiles served_;
    ServerLog log_;
    std::wstring destination_;
    RecordingCallback events_;
    PLDownloader downloader_;
};

TEST_F(DownloaderTest, PlainAnswerArrivesWholeWithTheRequestHeaders) {
    const std::string body = Bytes(50000, 1);
    served_.Put("/k/a/pkg.exe", body);
    EXPECT_EQ(Run(Task("/k/a/pkg.exe")), 1u);
    EXPECT_EQ(ReadAll(destination_), body);
    EXPECT_FALSE(fs::exists(destination_ + L".tmp"));
    const PLDownloadStatus end = events_.First('E');
    EXPECT_EQ(end.state, kDownloadCompleted);
    EXPECT_EQ(end.done, body.size());
    EXPECT_EQ(end.total, body.size());
    EXPECT_EQ(events_.Count('E'), 1);
    EXPECT_GE(events_.Count('P'), 7);  // one per block of at most 8 KiB
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
    EXPECT_EQ(Run(Task("/k/pkg.exe")), 1u);
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

TEST_F(DownloaderTest, ResumeAsksForTheRestAndCountsWhatWasThere) {
    const std::string body = Bytes(5000, 3);
    served_.Put("/k/pkg.exe", body);
    WriteAll(destination_ + L".tmp", body.substr(0, 1000));
    EXPECT_EQ(Run(Task("/k/pkg.exe", 0)), 1u);
    EXPECT_EQ(RequestHeader("Range"), "bytes=1000-");
    const PLDownloadStatus begin = events_.First('B');
    EXPECT_EQ(begin.done, 1000u);
    EXPECT_EQ(begin.total, 5000u);  // 1000 plus the announced 4000
    EXPECT_EQ(downloader_.Task().resumeOffset, 1000);
    EXPECT_EQ(ReadAll(destination_), body);
}

TEST_F(DownloaderTest, FreshDownloadEmptiesTheTemporaryFile) {
    const std::string body = Bytes(2000, 4);
    served_.Put("/k/pkg.exe", body);
    WriteAll(destination_ + L".tmp", std::string(1000, 'x'));
    EXPECT_EQ(Run(Task("/k/pkg.exe", 1)), 1u);
    EXPECT_EQ(RequestHeader("Range"), "bytes=0-");
    EXPECT_EQ(events_.First('B').done, 0u);
    EXPECT_EQ(ReadAll(destination_), body);
}

// Bodies that do not arrive whole, and one without a length.
TEST_F(DownloaderTest, EndStatesOfDamagedAnswers) {
    const std::string body = Bytes(20000, 5);
    served_.Put("/k/pkg.exe", body);
    struct Case {
        const char* rules;
        std::int32_t state;
        std::uint64_t done;
        bool renamed;
        bool statusDone;
    } cases[] = {
        {"{\"/k/pkg.exe\": {\"answer\": \"empty\"}}", kDownloadFailed, 0, false, false},
        {"{\"/k/pkg.exe\": {\"answer\": \"cut\", \"bytes\": 12000}}", kDownloadFailed, 12000, false,
         false},
        {"{\"/k/pkg.exe\": {\"answer\": \"nolength\"}}", kDownloadCompleted, 20000, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rules);
        fs::remove(destination_);
        fs::remove(destination_ + L".tmp");
        served_.SetRules(c.rules);
        RecordingCallback events;
        CDownloaderStatus status;
        struct Both : PLDownloadCallback {
            PLDownloadCallback* a;
            PLDownloadCallback* b;
            void OnBegin(PLDownloadStatus s) override { a->OnBegin(s), b->OnBegin(s); }
            void OnEnd(PLDownloadStatus s) override { a->OnEnd(s), b->OnEnd(s); }
        } both;
        both.a = &events;
        both.b = &status;
        // A fresh downloader for each: a response without Content-Length keeps the length of
        // the downloader's previous response.
        PLDownloader downloader;
        downloader.SetCallback(&both);
        downloader.SetTask(Task("/k/pkg.exe"), 0);
        ASSERT_TRUE(downloader.Start());
        UniqueHandle<KernelHandleTraits> thread(downloader.DuplicateThreadHandle());
        ASSERT_EQ(WaitForSingleObject(thread.Get(), 30000), WAIT_OBJECT_0);
        const PLDownloadStatus end = events.First('E');
        EXPECT_EQ(end.state, c.state);
        EXPECT_EQ(end.done, c.done);
        EXPECT_EQ(fs::exists(destination_), c.renamed);
        EXPECT_EQ(status.Done(), c.statusDone);
        if (c.renamed) {
            EXPECT_EQ(ReadAll(destination_), body);
        } else if (c.done > 0) {
            EXPECT_EQ(ReadAll(destination_ + L".tmp"), body.substr(0, c.done));
        }
    }
}

TEST_F(DownloaderTest, ExistingDestinationIsNotReplaced) {
    served_.Put("/k/pkg.exe", Bytes(4000, 6));
    WriteAll(destination_, "old");
    EXPECT_EQ(Run(Task("/k/pkg.exe")), 1u);
    const PLDownloadStatus end = events_.First('E');
    EXPECT_EQ(end.state, kDownloadCompleted);
    EXPECT_EQ(end.done, 3u);  // the destination's size
    EXPECT_EQ(ReadAll(destination_), "old");
    EXPECT_EQ(fs::file_size(destination_ + L".tmp"), 4000u);
}

TEST_F(DownloaderTest, StopEndsAReceivingThreadWithOneEnd) {
    served_.Put("/k/pkg.exe", Bytes(100000, 7));
    served_.SetRules("{\"/k/pkg.exe\": {\"answer\": \"stall\", \"bytes\": 30000, \"seconds\": 4}}");
    downloader_.SetTask(Task("/k/pkg.exe"), 0);
    ASSERT_TRUE(downloader_.Start());
    UniqueHandle<KernelHandleTraits> thread(downloader_.DuplicateThreadHandle());
    auto received = [this] {
        std::uint64_t done = 0;
        for (const auto& [kind, status] : events_.Events()) {
            done = kind == 'P' ? status.done : done;
        }
        return done;
    };
    // A read returns whole 8 KiB blocks only: three of the 30000 bytes sent arrive before the
    // stall.
    for (int i = 0; i < 200 && received() < 3 * 8192; ++i) {
        Sleep(20);
    }
    ASSERT_EQ(received(), 3u * 8192);
    downloader_.Stop();
    EXPECT_EQ(downloader_.State(), kDownloadStopped);
    // Under Wine a closed request handle does not cut short a read that waits for data: the
    // thread ends when the server closes the connection.
    ASSERT_EQ(WaitForSingleObject(thread.Get(), 10000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeThread(thread.Get(), &code);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(events_.Count('E'), 1);
    EXPECT_EQ(events_.First('E').state, kDownloadStopped);
    EXPECT_FALSE(fs::exists(destination_));
    EXPECT_TRUE(fs::exists(destination_ + L".tmp"));
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

}  // namespace
