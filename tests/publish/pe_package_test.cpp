// Packages are hostile until read: cut or forged headers give no facts and never a crash.
#include <gtest/gtest.h>

#include "tools/publish/pe_package.h"

namespace {

TEST(PackageFacts, DamagedProgramsGiveNoFacts) {
    std::vector<unsigned char> pe(512, 0);
    pe[0] = 'M';
    pe[1] = 'Z';
    pe[0x3C] = 0x40;
    pe[0x40] = 'P';
    pe[0x41] = 'E';
    const std::vector<std::vector<unsigned char>> damaged = {
        {},
        {'M', 'Z'},
        std::vector<unsigned char>(pe.begin(), pe.begin() + 0x42),  // cut in the signature
        [&] {  // a section table far beyond the end, a huge resource and certificate directory
            auto p = pe;
            p[0x46] = 0xFF;  // sections
            p[0x54] = 0xFF;  // optional header size
            p[0x58] = 0x0B;
            p[0x59] = 0x01;
            for (int i = 0; i < 40; ++i)
                p[0x58 + 96 + i] = 0xFF;
            return p;
        }(),
    };
    for (const auto& bytes : damaged) {
        const PackageFacts facts = ReadPackageFacts(bytes);
        EXPECT_TRUE(facts.productVersion.empty());
        EXPECT_FALSE(facts.signatureReadable);
    }
    EXPECT_FALSE(ReadPackageFacts({'M', 'Z'}).isPe);
}

}  // namespace
