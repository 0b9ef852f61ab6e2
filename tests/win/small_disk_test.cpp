// Writing to a disk that fills: the downloader's output file, a download and the replacement of an
// installed program, on a disk of 1 MiB of their own (a tmpfs that the test run mounts on
// small-disk/, see tests/tools/small_disk.py). Only the ctest entry win_tests_small_disk runs
// them; without its disk they fail.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "apply/replace_file_win.h"
#include "base/unique_handle_win.h"
#include "download/pl_downloader_win.h"
#include "download/pl_file_win.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kBlock = 8192;
constexpr std::size_t kDisk = 1024 * 1024;

class SmallDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(disk_.empty()) << "no small disk: these tests run through ctest, as root";
        Empty();
    }
    void TearDown() override { Empty(); }

    void Empty() {
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(fs::path(disk_), ignored)) {
            fs::remove_all(entry.path(), ignored);
        }
    }

    const std::wstring disk_ = WindowsPathFromEnvironment("TALLIX_SMALL_DISK") + L"\\";
};

TEST_F(SmallDisk, TheOutputFileRefusesTheBlockThatDoesNotFitAndEveryOneAfterIt) {
    PLFile file;
    ASSERT_NE(file.Open(disk_ + L"pkg.exe.tmp", true), nullptr);
    const std::string block(kBlock, 'x');
    std::size_t accepted = 0;
    while (accepted < 2 * kDisk / kBlock && file.WriteBlock(block.data(), block.size())) {
        ++accepted;
    }
    EXPECT_LT(accepted, 2 * kDisk / kBlock);
    EXPECT_TRUE(file.WriteFailed());
    // The position counts the blocks that reached the stream, never the refused one.
    EXPECT_EQ(static_cast<std::size_t>(file.Position()), accepted * kBlock);
    EXPECT_FALSE(file.WriteBlock(block.data(), block.size()));
    EXPECT_FALSE(file.Close());
    // A new file starts clean.
    ASSERT_NE(file.Open(disk_ + L"pkg.exe.tmp", true), nullptr);
    EXPECT_FALSE(file.WriteFailed());
    EXPECT_TRUE(file.WriteBlock("MZ", 2));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(ReadAll(disk_ + L"pkg.exe.tmp"), "MZ");
}

TEST_F(SmallDisk, TheLastBytesThatDoNotFitShowAtTheClose) {
    // Every block fits into the stream's buffer; the buffer's last part is written only when
    // the file is closed, and there the disk is full.
    PLFile file;
    ASSERT_NE(file.Open(disk_ + L"pkg.exe.tmp", true), nullptr);
    const std::string block(kBlock, 'x');
    bool accepted = true;
    for (std::size_t i = 0; i < kDisk / kBlock + 1; ++i) {
        accepted = file.WriteBlock(block.data(), block.size()) && accepted;
    }
    EXPECT_TRUE(accepted);
    EXPECT_FALSE(file.WriteFailed());
    EXPECT_FALSE(file.Close());
}

TEST_F(SmallDisk, ADownloadThatFillsTheDiskFailsAndIsNotRenamed) {
    REQUIRE_TEST_RUN();
    ServedFiles served;
    served.Put("/k/big.exe", std::string(2 * kDisk, 'p'));
    PLDownloader downloader;
    PLDownloadTask task;
    task.url = ServerOrigin() + L"/k/big.exe?skq=1";
    task.name = L"big.exe";
    task.path = disk_ + L"big.exe";
    downloader.SetTask(task, 0);
    ASSERT_TRUE(downloader.Start());
    UniqueKernelHandle thread(downloader.DuplicateThreadHandle());
    ASSERT_EQ(WaitForSingleObject(thread.Get(), 60000), WAIT_OBJECT_0);
    EXPECT_EQ(downloader.State(), kDownloadFailed);
    EXPECT_FALSE(fs::exists(fs::path(task.path)));
    EXPECT_LT(fs::file_size(fs::path(task.path + L".tmp")), 2 * kDisk);
}

TEST_F(SmallDisk, AReplacementThatDoesNotFitLeavesTheInstalledProgramWhole) {
    TempFolder packages;
    const std::wstring source = packages.Path() + L"keldra.exe";
    const std::string package(kDisk + kDisk / 2, 'n');
    WriteAll(source, package);
    const std::wstring target = disk_ + L"keldra.exe";
    WriteAll(target, "old build");
    EXPECT_FALSE(ReplaceFile(source, target));
    EXPECT_EQ(ReadAll(target), "old build");
    EXPECT_FALSE(fs::exists(fs::path(StagingName(target))));
    EXPECT_EQ(ReadAll(source), package);
    // With room for it, the same package goes in whole.
    const std::string fitting(kDisk / 2, 'n');
    WriteAll(source, fitting);
    EXPECT_TRUE(ReplaceFile(source, target));
    EXPECT_EQ(ReadAll(target), fitting);
    EXPECT_FALSE(fs::exists(fs::path(StagingName(target))));
}

}  // namespace
