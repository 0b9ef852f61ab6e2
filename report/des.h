// Single DES (FIPS 46) on one 64-bit block, the cipher of the usage report's record. The updater
// carries its own small implementation because it links nothing beyond the system.
#pragma once

#include <array>
#include <cstdint>

using DesBlock = std::array<std::uint8_t, 8>;
using DesKey = std::array<std::uint8_t, 8>;  // 64 bits; the parity bits are ignored

// The 16 round keys of a key, in encryption order.
class DesKeySchedule {
  public:
    explicit DesKeySchedule(const DesKey& key);

    DesBlock Encrypt(const DesBlock& plain) const;
    DesBlock Decrypt(const DesBlock& cipher) const;

  private:
    std::uint64_t Crypt(std::uint64_t block, bool decrypt) const;

    std::array<std::uint64_t, 16> roundKeys_{};  // 48 bits each
};
