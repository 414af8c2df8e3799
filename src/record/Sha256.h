#pragma once
// SHA-256 (FIPS 180-4), for the gene file's fingerprint in a run's manifest
// and the checksum that guards a checkpoint. Small inputs and a few tens of
// megabytes at most: a plain implementation serves.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace qm::record {

class Sha256 {
  public:
    Sha256();
    void Update(const void* data, std::size_t size);
    void Update(std::string_view text) { Update(text.data(), text.size()); }
    // The digest; the object is spent afterwards.
    std::array<std::uint8_t, 32> Finish();
    // The digest as 64 lower-case hex digits.
    std::string FinishHex();

  private:
    void Block(const std::uint8_t* block);

    std::array<std::uint32_t, 8> h;
    std::array<std::uint8_t, 64> buffer{};
    std::size_t buffered = 0;
    std::uint64_t length = 0;  // bytes so far
};

// The hex digest of `text`.
std::string Sha256Hex(std::string_view text);

}  // namespace qm::record
