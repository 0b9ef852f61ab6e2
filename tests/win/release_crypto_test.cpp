// The system's cryptography of the build with release keys: SHA-256 of bytes and of files, and
// RSA signatures made by OpenSSL with the build's throwaway keys
// (tests/win/make_release_fixtures.sh), checked by CryptoAPI.
#include <gtest/gtest.h>

#include "test_support.h"
#include "trust/release_crypto_win.h"

namespace {

std::wstring Fixture(const wchar_t* name) {
    return WindowsPathFromEnvironment("TALLIX_RELEASE_FIXTURES") + L"\\" + name;
}

std::wstring Key(const wchar_t* name) {
    return WindowsPathFromEnvironment("TALLIX_RELEASE_KEYS_DIR") + L"\\" + name;
}

std::string HexOf(const std::optional<Sha256Digest>& digest) {
    return digest ? LowerHex(digest->data(), digest->size()) : "none";
}

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

TEST(SystemCrypto, Sha256OfBytesAndOfFilesOfTheExpectedSizeOnly) {
    const SystemCrypto crypto;
    ASSERT_TRUE(crypto.Ok());
    const auto text = [&](const std::string& s) {
        return HexOf(crypto.Sha256(reinterpret_cast<const unsigned char*>(s.data()), s.size()));
    };
    EXPECT_EQ(text(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(text("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");

    // A file read in blocks gives the digest of its bytes; another size is not read at all.
    const TempFolder folder;
    const std::wstring path = folder.Path() + L"package.exe";
    std::string content(200000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>(i * 7 % 251);
    }
    WriteAll(path, content);
    EXPECT_EQ(HexOf(crypto.Sha256OfFile(path, content.size())), text(content));
    EXPECT_EQ(HexOf(crypto.Sha256OfFile(path, content.size() - 1)), "none");
    EXPECT_EQ(HexOf(crypto.Sha256OfFile(path, content.size() + 1)), "none");
    EXPECT_EQ(HexOf(crypto.Sha256OfFile(folder.Path() + L"missing.exe", 0)), "none");
}

TEST(SystemCrypto, SignaturesOfTheBuildsKeysCheckedByTheSystem) {
    REQUIRE_TEST_RUN();
    SystemCrypto crypto;
    ASSERT_TRUE(crypto.Ok());
    const auto add = [&crypto](const std::string& der) {
        return crypto.AddPublicKey(reinterpret_cast<const unsigned char*>(der.data()), der.size());
    };
    const std::string firstId = add(ReadAll(Fixture(L"first.der")));
    EXPECT_EQ(firstId, ReadAll(Fixture(L"first.id")));  // OpenSSL's id of the same key
    const std::string secondId = add(ReadAll(Fixture(L"second.der")));
    ASSERT_EQ(secondId.size(), 16u);
    EXPECT_NE(secondId, firstId);
    // What the system cannot take as a public key gives no id (and no key number).
    EXPECT_EQ(add(ReadAll(Fixture(L"short.der"))), "");
    EXPECT_EQ(add(ReadAll(Key(L"first.pub"))), "");  // PEM, not DER
    EXPECT_EQ(add("not a key"), "");
    EXPECT_EQ(add(""), "");

    const std::string body = ReadAll(Fixture(L"body.txt"));
    const auto* bytes = reinterpret_cast<const unsigned char*>(body.data());
    const std::vector<std::uint8_t> first = Bytes(ReadAll(Fixture(L"first.sig")));
    const std::vector<std::uint8_t> second = Bytes(ReadAll(Fixture(L"second.sig")));
    ASSERT_EQ(first.size(), 256u);
    EXPECT_TRUE(crypto.Verify(0, bytes, body.size(), first));
    EXPECT_TRUE(crypto.Verify(1, bytes, body.size(), second));
    // Another key's signature, a changed body or signature, a cut one, and keys that are not
    // there are all refused.
    EXPECT_FALSE(crypto.Verify(1, bytes, body.size(), first));
    EXPECT_FALSE(crypto.Verify(0, bytes, body.size() - 1, first));
    std::vector<std::uint8_t> changed = first;
    changed[100] ^= 0x01;
    EXPECT_FALSE(crypto.Verify(0, bytes, body.size(), changed));
    EXPECT_FALSE(crypto.Verify(0, bytes, body.size(),
                               std::vector<std::uint8_t>(first.begin(), first.end() - 1)));
    EXPECT_FALSE(crypto.Verify(0, bytes, body.size(), {}));
    EXPECT_FALSE(crypto.Verify(2, bytes, body.size(), first));
}

}  // namespace
