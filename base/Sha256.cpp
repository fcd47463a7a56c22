#include "base/Sha256.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define READTARQ_SHA_X86 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

constexpr uint32_t RoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr uint32_t Rotr(uint32_t x, int n) {
  return (x >> n) | (x << (32 - n));
}

inline uint32_t LoadBigEndian(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

void CompressPortable(std::array<uint32_t, 8>& state, const uint8_t* blocks, size_t count) {
  uint32_t h0 = state[0], h1 = state[1], h2 = state[2], h3 = state[3];
  uint32_t h4 = state[4], h5 = state[5], h6 = state[6], h7 = state[7];
  for (; count > 0; --count, blocks += 64) {
    uint32_t w[16];
    for (int i = 0; i < 16; ++i) w[i] = LoadBigEndian(blocks + 4 * i);
    uint32_t a = h0, b = h1, c = h2, d = h3, e = h4, f = h5, g = h6, h = h7;
    // The message schedule lives in a ring of 16 words, extended as the rounds go.
    for (int i = 0; i < 64; ++i) {
      uint32_t wi;
      if (i < 16) {
        wi = w[i];
      } else {
        const uint32_t w15 = w[(i - 15) & 15];
        const uint32_t w2 = w[(i - 2) & 15];
        const uint32_t s0 = Rotr(w15, 7) ^ Rotr(w15, 18) ^ (w15 >> 3);
        const uint32_t s1 = Rotr(w2, 17) ^ Rotr(w2, 19) ^ (w2 >> 10);
        wi = w[i & 15] += s0 + w[(i - 7) & 15] + s1;
      }
      const uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) +
                          RoundConstants[i] + wi;
      const uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    h0 += a;
    h1 += b;
    h2 += c;
    h3 += d;
    h4 += e;
    h5 += f;
    h6 += g;
    h7 += h;
  }
  state = {h0, h1, h2, h3, h4, h5, h6, h7};
}

#ifdef READTARQ_SHA_X86

bool ProcessorHasSha() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  const bool ssse3 = c & (1u << 9), sse41 = c & (1u << 19);
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
  return ssse3 && sse41 && (b & (1u << 29));
}

// The state is kept as ABEF and CDGH, as the instructions want it. Each step does four rounds
// with the four message words of quad i, and extends the schedule two quads ahead.
__attribute__((target("sha,sse4.1,ssse3"))) void CompressSha(std::array<uint32_t, 8>& state,
                                                             const uint8_t* blocks, size_t count) {
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
  __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));
  __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));
  tmp = _mm_shuffle_epi32(tmp, 0xB1);                // CDAB
  state1 = _mm_shuffle_epi32(state1, 0x1B);          // EFGH
  __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);  // ABEF
  state1 = _mm_blend_epi16(state1, tmp, 0xF0);       // CDGH

  for (; count > 0; --count, blocks += 64) {
    const __m128i abefBefore = state0;
    const __m128i cdghBefore = state1;
    __m128i quad[4];
    for (int i = 0; i < 4; ++i) {
      quad[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * i)),
                                 byteSwap);
    }
    for (int i = 0; i < 16; ++i) {
      const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&RoundConstants[4 * i]));
      __m128i message = _mm_add_epi32(quad[i & 3], k);
      state1 = _mm_sha256rnds2_epu32(state1, state0, message);
      if (i >= 3 && i <= 14) {
        const __m128i joined = _mm_alignr_epi8(quad[i & 3], quad[(i - 1) & 3], 4);
        quad[(i + 1) & 3] =
            _mm_sha256msg2_epu32(_mm_add_epi32(quad[(i + 1) & 3], joined), quad[i & 3]);
      }
      message = _mm_shuffle_epi32(message, 0x0E);
      state0 = _mm_sha256rnds2_epu32(state0, state1, message);
      if (i >= 1 && i <= 12)
        quad[(i - 1) & 3] = _mm_sha256msg1_epu32(quad[(i - 1) & 3], quad[i & 3]);
    }
    state0 = _mm_add_epi32(state0, abefBefore);
    state1 = _mm_add_epi32(state1, cdghBefore);
  }

  tmp = _mm_shuffle_epi32(state0, 0x1B);        // FEBA
  state1 = _mm_shuffle_epi32(state1, 0xB1);     // DCHG
  state0 = _mm_blend_epi16(tmp, state1, 0xF0);  // DCBA
  state1 = _mm_alignr_epi8(state1, tmp, 8);     // HGFE
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), state0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), state1);
}

#else

bool ProcessorHasSha() {
  return false;
}

#endif

}  // namespace

TSha256::TSha256(TEngine engine) : Hardware(engine == TEngine::Auto && HardwareAvailable()) {
  Reset();
}

bool TSha256::HardwareAvailable() {
  static const bool available = ProcessorHasSha();
  return available;
}

void TSha256::Compress(const uint8_t* blocks, size_t count) {
#ifdef READTARQ_SHA_X86
  if (Hardware) {
    CompressSha(State, blocks, count);
    return;
  }
#endif
  CompressPortable(State, blocks, count);
}

void TSha256::Reset() {
  State = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
           0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  PendingSize = 0;
  TotalBytes = 0;
}

void TSha256::Update(const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  TotalBytes += size;
  if (PendingSize > 0) {
    const size_t take = std::min(size, Pending.size() - PendingSize);
    std::memcpy(Pending.data() + PendingSize, bytes, take);
    PendingSize += take;
    bytes += take;
    size -= take;
    if (PendingSize < Pending.size()) return;
    Compress(Pending.data(), 1);
    PendingSize = 0;
  }
  if (size >= 64) {
    Compress(bytes, size / 64);
    bytes += size / 64 * 64;
    size %= 64;
  }
  if (size > 0) {
    std::memcpy(Pending.data(), bytes, size);
    PendingSize = size;
  }
}

TSha256::TDigest TSha256::Final() {
  const uint64_t bits = TotalBytes * 8;
  uint8_t tail[72] = {0x80};
  const size_t padding = (PendingSize < 56 ? 56 : 120) - PendingSize;
  for (int i = 0; i < 8; ++i) tail[padding + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
  Update(tail, padding + 8);
  TDigest digest;
  for (size_t i = 0; i < 8; ++i) {
    digest[4 * i] = static_cast<uint8_t>(State[i] >> 24);
    digest[4 * i + 1] = static_cast<uint8_t>(State[i] >> 16);
    digest[4 * i + 2] = static_cast<uint8_t>(State[i] >> 8);
    digest[4 * i + 3] = static_cast<uint8_t>(State[i]);
  }
  Reset();
  return digest;
}

std::string TSha256::FinalHex() {
  return Hex(Final());
}

std::string TSha256::Hex(std::span<const uint8_t> bytes) {
  static constexpr char Digits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * bytes.size());
  for (uint8_t byte : bytes) {
    text += Digits[byte >> 4];
    text += Digits[byte & 15];
  }
  return text;
}

std::string TSha256::HexOf(std::string_view bytes) {
  TSha256 hash;
  hash.Update(bytes);
  return hash.FinalHex();
}
