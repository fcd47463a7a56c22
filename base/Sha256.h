#pragma once
// SHA-256 (FIPS 180-4), streamed: feed the bytes in pieces of any size as they go by, then take
// the digest. Used to fingerprint the files a download writes (from the bytes as they were
// written, never by reading them back) and to name events and cards.
//
// On x86-64 processors with the SHA extensions the blocks go through them (about ten times
// faster); elsewhere through portable code. Both give the same digests.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

class TSha256 {
 public:
  using TDigest = std::array<uint8_t, 32>;

  // Auto: the SHA instructions when the processor has them. Portable: never (for tests).
  enum class TEngine { Auto, Portable };

  explicit TSha256(TEngine engine = TEngine::Auto);
  void Reset();
  void Update(const void* data, size_t size);
  void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
  // Pads and returns the digest; the object then starts over as if just reset.
  TDigest Final();
  // Final() as 64 lower-case hexadecimal digits.
  std::string FinalHex();

  // Bytes as lower-case hexadecimal digits, two per byte.
  static std::string Hex(std::span<const uint8_t> bytes);
  // The digest of one whole buffer, as hexadecimal text.
  static std::string HexOf(std::string_view bytes);
  // True when this processor has the SHA instructions and they are used.
  static bool HardwareAvailable();

 private:
  void Compress(const uint8_t* blocks, size_t count);
  bool Hardware;
  std::array<uint32_t, 8> State;
  std::array<uint8_t, 64> Pending;
  size_t PendingSize = 0;
  uint64_t TotalBytes = 0;
};
