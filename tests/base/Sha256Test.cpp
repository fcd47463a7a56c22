#include "base/Sha256.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

struct TVector {
  std::string Message;
  const char* Digest;
};

// The FIPS 180-4 examples, with the padding edge cases they cover: one block, a message that
// leaves no room for the length in its last block (448 bits), two full blocks (896 bits).
const TVector Vectors[] = {
    {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmn"
     "opqrsmnopqrstnopqrstu",
     "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
    {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

// Both engines where the processor has the SHA instructions, the portable one elsewhere.
const TSha256::TEngine Engines[] = {TSha256::TEngine::Auto, TSha256::TEngine::Portable};

TEST(Sha256, StandardVectorsWholeAndInRandomPieces) {
  std::mt19937 random(13);
  for (const TVector& v : Vectors) {
    for (TSha256::TEngine engine : Engines) {
      SCOPED_TRACE(v.Message.size());
      SCOPED_TRACE(engine == TSha256::TEngine::Auto ? "auto" : "portable");
      TSha256 whole(engine);
      whole.Update(v.Message);
      EXPECT_EQ(whole.FinalHex(), v.Digest);

      // The same bytes fed in pieces of random sizes, crossing block boundaries anywhere.
      for (int round = 0; round < 20; ++round) {
        TSha256 hash(engine);
        size_t at = 0;
        while (at < v.Message.size()) {
          const size_t limit = v.Message.size() > 1000 ? 5000 : 70;
          const size_t take = std::min(v.Message.size() - at, size_t{random() % limit});
          hash.Update(v.Message.data() + at, take);
          at += take;
        }
        EXPECT_EQ(hash.FinalHex(), v.Digest);
      }
    }
  }
}

TEST(Sha256, LengthsAroundTheLastBlockAndStartOverAfterFinal) {
  // Every length from 0 to 130 bytes, whole against byte by byte: the padding must place the
  // bit length correctly whether it fits the last block (up to 55 bytes in it) or not.
  for (size_t length = 0; length <= 130; ++length) {
    const std::string message(length, static_cast<char>('0' + length % 10));
    TSha256 bytewise(TSha256::TEngine::Portable);
    for (char c : message) bytewise.Update(&c, 1);
    EXPECT_EQ(bytewise.FinalHex(), TSha256::HexOf(message)) << length;
  }
  TSha256 hash;
  hash.Update("some earlier file");
  hash.Final();
  hash.Update("abc");
  EXPECT_EQ(hash.FinalHex(), Vectors[1].Digest);
}

}  // namespace
