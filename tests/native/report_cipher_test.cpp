#include "report/report_cipher.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

namespace {

std::uint64_t FromHex(const char* hex) {
    return std::strtoull(hex, nullptr, 16);
}

std::array<std::uint8_t, 8> Bytes(std::uint64_t value) {
    std::array<std::uint8_t, 8> bytes{};
    for (int i = 7; i >= 0; --i, value >>= 8) {
        bytes[i] = static_cast<std::uint8_t>(value);
    }
    return bytes;
}

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0xF];
    }
    return out;
}

// Published known answers: the worked example of the standard's textbook, the "Now is t"
// example of FIPS 81, and the first variable-plaintext and variable-key entries of the
// validation tables of NIST SP 800-17.
TEST(Des, KnownAnswers) {
    const struct {
        const char* key;
        const char* plain;
        const char* cipher;
    } cases[] = {
        {"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
        {"0123456789ABCDEF", "4E6F772069732074", "3FA40E8A984D4815"},
        {"0101010101010101", "8000000000000000", "95F8A5E5DD31D900"},
        {"0101010101010101", "4000000000000000", "DD7F121CA5015619"},
        {"0101010101010101", "2000000000000000", "2E8653104F3834EA"},
        {"8001010101010101", "0000000000000000", "95A8D72813DAA94D"},
        {"4001010101010101", "0000000000000000", "0EEC1487DD8C26D5"},
        {"2001010101010101", "0000000000000000", "7AD16FFB79C45926"},
    };
    for (const auto& c : cases) {
        const DesKeySchedule schedule(Bytes(FromHex(c.key)));
        EXPECT_EQ(schedule.Encrypt(Bytes(FromHex(c.plain))), Bytes(FromHex(c.cipher))) << c.key;
        EXPECT_EQ(schedule.Decrypt(Bytes(FromHex(c.cipher))), Bytes(FromHex(c.plain))) << c.key;
    }
}

// Runs the openssl command line on `input` under `key` (single DES, ECB, no padding); false
// when it cannot be run.
bool OpensslEncrypt(const DesKey& key, const std::string& input, std::string& output) {
    char inPath[] = "/tmp/tallix-des-in-XXXXXX";
    char outPath[] = "/tmp/tallix-des-out-XXXXXX";
    const int inFd = mkstemp(inPath);
    const int outFd = mkstemp(outPath);
    if (inFd < 0 || outFd < 0) {
        return false;
    }
    close(inFd);
    close(outFd);
    std::ofstream(inPath, std::ios::binary) << input;
    const std::string command =
        "openssl enc -des-ecb -nopad -provider legacy -provider default -K " +
        Hex(std::string(key.begin(), key.end())) + " -in " + inPath + " -out " + outPath +
        " 2>/dev/null";
    const bool ran = std::system(command.c_str()) == 0;
    std::ifstream result(outPath, std::ios::binary);
    output.assign(std::istreambuf_iterator<char>(result), std::istreambuf_iterator<char>());
    std::remove(inPath);
    std::remove(outPath);
    return ran;
}

// OpenSSL as an oracle: random keys (the report key among them), many random blocks each. The
// test tree installs openssl (scripts/install-deps.sh), so a missing binary is a failure.
TEST(Des, AgreesWithOpenssl) {
    std::mt19937_64 random(20261206);
    std::vector<DesKey> keys = {kReportKey};
    for (int i = 0; i < 15; ++i) {
        keys.push_back(Bytes(random()));
    }
    for (const DesKey& key : keys) {
        std::string plain;
        for (int block = 0; block < 64; ++block) {
            const auto bytes = Bytes(random());
            plain.append(bytes.begin(), bytes.end());
        }
        std::string expected;
        ASSERT_TRUE(OpensslEncrypt(key, plain, expected)) << "openssl enc -des-ecb failed";
        ASSERT_EQ(expected.size(), plain.size());
        const DesKeySchedule schedule(key);
        for (std::size_t at = 0; at < plain.size(); at += 8) {
            DesBlock block{};
            std::copy_n(plain.begin() + at, 8, block.begin());
            const DesBlock cipher = schedule.Encrypt(block);
            ASSERT_EQ(std::string(cipher.begin(), cipher.end()), expected.substr(at, 8))
                << "key " << Hex(std::string(key.begin(), key.end())) << " block " << at / 8;
            ASSERT_EQ(schedule.Decrypt(cipher), block);
        }
    }
}

TEST(ReportCipher, PadsToBlocksAndWritesUpperCaseHex) {
    const struct {
        std::string record;
        std::size_t hexLength;
    } cases[] = {{"", 0}, {"n:a;d:b;", 16}, {"n:a;d:b;v", 32}, {std::string(17, 'x'), 48}};
    for (const auto& c : cases) {
        const std::wstring hex = EncryptReportBytes(c.record);
        EXPECT_EQ(hex.size(), c.hexLength) << c.record;
        EXPECT_EQ(hex.find_first_not_of(L"0123456789ABCDEF"), std::wstring::npos) << c.record;
        EXPECT_EQ(DecryptReportHex(std::string(hex.begin(), hex.end())), c.record);
    }
    // A 9-byte record is the record and seven zero bytes, each block on its own (no chaining):
    // its first block is the 8-byte record's block.
    EXPECT_EQ(EncryptReportBytes("n:a;d:b;v").substr(0, 16), EncryptReportBytes("n:a;d:b;"));
    std::string padded = "v";
    padded.append(7, '\0');
    EXPECT_EQ(EncryptReportBytes("n:a;d:b;v").substr(16), EncryptReportBytes(padded));
}

TEST(ReportCipher, RefusesWhatIsNotWholeHexBlocks) {
    for (const char* bad : {"ABC", "0123456789ABCDE", "0123456789ABCDEG", "0123456789abcdef0",
                            "0123456789abcdef0123"}) {  // whole bytes, not whole blocks
        EXPECT_EQ(DecryptReportHex(bad), std::nullopt) << bad;
    }
    EXPECT_TRUE(DecryptReportHex("0123456789abcdef").has_value());
}

}  // namespace
