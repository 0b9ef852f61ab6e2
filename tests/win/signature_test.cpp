// The signer check on programs signed at test time with throwaway certificates
// (scripts/make-signature-fixtures.sh): the maker's name in capitals with more words, another
// company, an unsigned program, the exempt installer's name, and signatures damaged in one part.
#include <gtest/gtest.h>

#include "base/text.h"
#include "base/unique_handle_win.h"
#include "test_support.h"
#include "trust/signature_win.h"
#include "trust/signer_rule.h"

namespace {

std::wstring Fixture(const wchar_t* name) {
    return WindowsPathFromEnvironment("TALLIX_SIGNING_DIR") + L"\\" + name;
}

TEST(VerifyPackageSignature, SignersAcceptedOrRejectedAndAnUnsignedFileReported) {
    REQUIRE_TEST_RUN();
    // The subjects of scripts/make-signature-fixtures.sh, in their order.
    const std::wstring kUnit = ToLowerAscii(SignerDisplayName(
        {{NameAttribute::kOrganization, L"Fabrikam Utility Software Ltd"},
         {NameAttribute::kOrganizationalUnit, L"Lakemoor Orvane Network Technology Unit"}}));
    const std::wstring kCompany = ToLowerAscii(SignerDisplayName(
        {{NameAttribute::kOther, L"CN"},
         {NameAttribute::kOrganization, L"Lakemoor Orvane Network Technology Co."}}));
    struct Case {
        const wchar_t* file;
        bool accepted;
        const wchar_t* signer;  // what the caller's "before" becomes
    } cases[] = {
        // Signed without a timestamp.
        {L"maker.exe", true, L"lakemoor orvane network technology co., ltd. test unit"},
        // The maker's text anywhere in the lower-cased subject is the maker.
        {L"inword.exe", true, L"xlakemoor orvane network technologyx"},
        {L"branch.exe", true, L"beijing lakemoor orvane network technology branch"},
        {L"other.exe", false, L"fabrikam utility software ltd"},
        // No common name: the system names the signer as the updater's display-name rule says
        // (the unit ahead of the company), the rule the publisher's packages command calls.
        {L"unit.exe", true, kUnit.c_str()},
        {L"company.exe", true, kCompany.c_str()},
        {L"\\other.exe", false, L"fabrikam utility software ltd"},  // a doubled backslash
        {L"unsigned.exe", true, L"before"},
        // Optional parts missing or unreadable: the signer decides.
        {L"maker-drop-opus.exe", true, L"lakemoor orvane network technology co., ltd. test unit"},
        {L"maker-break-opus.exe", true, L"lakemoor orvane network technology co., ltd. test unit"},
        {L"maker-break-timestamp.exe", true,
         L"lakemoor orvane network technology co., ltd. test unit"},
        {L"other-break-opus.exe", false, L"fabrikam utility software ltd"},
        // A signature that is there but whose signer cannot be read is refused: breaking one
        // part must not pass another company's file.
        {L"maker-drop-certificates.exe", false, L"before"},
        {L"maker-break-table.exe", false, L"before"},
        {L"missing.exe", true, L"before"},
        // The exempt name in any case is accepted without being opened.
        {L"GlassWispSetup.exe", true, L"before"},
    };
    for (const Case& c : cases) {
        std::wstring signer = L"before";
        EXPECT_EQ(VerifyPackageSignature(Fixture(c.file), signer), c.accepted) << c.file;
        EXPECT_EQ(signer, c.signer) << c.file;
    }
    // The exempt name without a folder is checked: the fixture folder's copy is another company's.
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(Fixture(L"").c_str()));
    std::wstring signer;
    EXPECT_FALSE(VerifyPackageSignature(L"GlassWispSetup.exe", signer));
    EXPECT_EQ(signer, L"fabrikam utility software ltd");
    SetCurrentDirectoryW(previous);

    // A program that is there but cannot be read (held without sharing) is not taken for an
    // unsigned one; once let go, it is.
    TempFolder folder;
    const std::wstring held = folder.Path() + L"held.exe";
    ASSERT_TRUE(CopyFileW(Fixture(L"unsigned.exe").c_str(), held.c_str(), FALSE));
    {
        UniqueFileHandle lock(
            CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(lock.Valid());
        EXPECT_FALSE(VerifyPackageSignature(held, signer));
    }
    EXPECT_TRUE(VerifyPackageSignature(held, signer));

    // The diagnostic line of an unsigned file goes to this program's standard output; a child run
    // shows it.
    const std::string output =
        RunThisProgram(L"--gtest_filter=SignatureChild.* --gtest_also_run_disabled_tests");
    // Standard output is in text mode: the line ends in CRLF.
    EXPECT_NE(output.find("CryptQueryObject faild with 80092009\r\n"), std::string::npos) << output;
}

TEST(SignatureChild, DISABLED_VerifyUnsigned) {
    std::wstring signer;
    VerifyPackageSignature(Fixture(L"unsigned.exe"), signer);
}

}  // namespace
