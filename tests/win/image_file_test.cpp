// The wholeness of real program files: the stub programs and the signed copies of one made at
// test time (scripts/make-signature-fixtures.sh), whole and cut short at the points where a
// download or a copy stops; the installers' check of a cut program.
#include <gtest/gtest.h>

#include <string>

#include "apply/package_check_win.h"
#include "test_support.h"
#include "trust/image_file_win.h"
#include "trust/signature_win.h"

namespace {

TEST(ImageFile, WholeProgramsPassAndEveryCutIsSeenEvenWhereOnlyTheSignatureIsMissing) {
    REQUIRE_TEST_RUN();
    TempFolder folder;
    const std::wstring signing = WindowsPathFromEnvironment("TALLIX_SIGNING_DIR") + L"\\";
    for (const std::wstring& program : {StubFolder("keldra-6.0.0.1") + L"keldra.exe",
                                        signing + L"maker.exe", signing + L"other.exe"}) {
        SCOPED_TRACE(WideToUtf8(program));
        const std::string whole = ReadAll(program);
        ASSERT_GT(whole.size(), 4096u);
        EXPECT_EQ(JudgeImageFile(program), ImageWholeness::kWhole);
        EXPECT_TRUE(PackageIsWhole(program));
        const std::wstring cut = folder.Path() + L"cut.exe";
        for (const std::size_t keep : {whole.size() - 1, whole.size() - 600, whole.size() / 2,
                                       std::size_t{1024}, std::size_t{100}}) {
            WriteAll(cut, whole.substr(0, keep));
            EXPECT_EQ(JudgeImageFile(cut), ImageWholeness::kCut) << keep;
            EXPECT_FALSE(PackageIsWhole(cut)) << keep;
        }
    }
    // The other company's program cut in its signature: its certificate table runs past the end
    // of the file, so the signer check refuses it as unreadable, and so does the wholeness rule.
    const std::string other = ReadAll(signing + L"other.exe");
    const std::wstring cut = folder.Path() + L"other.exe";
    WriteAll(cut, other.substr(0, other.size() - 600));
    std::wstring signer;
    EXPECT_FALSE(VerifyPackageSignature(cut, signer));
    EXPECT_FALSE(PackageIsWhole(cut));
    // The installers' check refuses the maker's own program cut in its signature, whose version
    // and (unreadable) signature pass on their own.
    const std::string maker = ReadAll(signing + L"maker.exe");
    const std::wstring makerCut = folder.Path() + L"maker.exe";
    WriteAll(makerCut, maker.substr(0, maker.size() - 600));
    EXPECT_TRUE(CheckPackage(signing + L"maker.exe", L"6.0.0.1", signer));
    EXPECT_FALSE(CheckPackage(makerCut, L"6.0.0.1", signer));

    WriteAll(folder.Path() + L"page.exe", "<html>error page</html>");
    EXPECT_EQ(JudgeImageFile(folder.Path() + L"page.exe"), ImageWholeness::kNotAnImage);
    WriteAll(folder.Path() + L"empty.exe", "");
    EXPECT_EQ(JudgeImageFile(folder.Path() + L"empty.exe"), ImageWholeness::kNotAnImage);
    EXPECT_EQ(JudgeImageFile(folder.Path() + L"missing.exe"), ImageWholeness::kCut);
    EXPECT_FALSE(PackageIsWhole(folder.Path() + L"missing.exe"));
}

}  // namespace
