#include "ledger/EventIdentity.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "support/CardBuilder.h"

using testing_support::TBuiltEvent;

namespace {

std::vector<uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

std::array<uint8_t, 9> Signature(const std::string& text) {
  std::array<uint8_t, 9> bytes;
  std::copy_n(text.begin(), 9, bytes.begin());
  return bytes;
}

std::string Identity(const TBuiltEvent& event, const std::string& signature, int64_t offset) {
  return EventIdentity(Bytes(event.HeaderBytes()), Signature(signature), offset);
}

TEST(EventIdentity, SurvivesEraseAndRestoreButNotAnotherPlaceCardOrHeader) {
  for (const auto& [live, erased] : {std::pair{"DEB", "ERASED"}, std::pair{"DEB2", "ERASED2"}}) {
    SCOPED_TRACE(live);
    TBuiltEvent event;
    event.Marker = live;
    const std::string id = Identity(event, "TARQP0410", 9);
    EXPECT_EQ(id.size(), 64u);
    TBuiltEvent erasedEvent = event;
    erasedEvent.Marker = erased;
    EXPECT_EQ(Identity(erasedEvent, "TARQP0410", 9), id);

    // Identical headers elsewhere on the card, or on another card, are other events.
    EXPECT_NE(Identity(event, "TARQP0410", 9 + 3 * 20), id);
    EXPECT_NE(Identity(event, "TARQP0410", 9 + (int64_t{1} << 40)), id);
    EXPECT_NE(Identity(event, "TARQP0508", 9), id);
    // Every byte after the marker counts, the header's end included.
    TBuiltEvent other = event;
    other.HeaderEnd = "HDREND2";
    EXPECT_NE(Identity(other, "TARQP0410", 9), id);
  }
  TBuiltEvent event;
  EXPECT_THROW(EventIdentity(Bytes(event.HeaderBytes() + "x"), Signature("TARQPROBE"), 9),
               std::invalid_argument);
}

TEST(EventIdentity, FromTheWalksHeaderValuesAsFromTheCardBytes) {
  // The walk keeps a format-2 header's fields 13-18 in the image after a format-1 header; they
  // are not part of the format-1 event.
  TBuiltEvent format2;
  format2.Marker = "DEB2";
  TBuiltEvent format1;
  format1.HeaderEnd = "END1";
  const std::string bytes2 = format2.HeaderBytes();
  const std::string bytes1 = format1.HeaderBytes();
  ASSERT_EQ(bytes1.size(), EventHeaderSize1);
  ASSERT_EQ(bytes2.size(), EventHeaderSize2);

  TEventHeader header;
  header.EventFormat = 2;
  std::copy(bytes2.begin(), bytes2.end(), header.HeaderImage.begin());
  EXPECT_EQ(EventIdentity(header, Signature("TARQP0410"), 300),
            Identity(format2, "TARQP0410", 300));

  header.EventFormat = 1;
  std::copy_n(bytes1.begin(), 108, header.HeaderImage.begin());
  std::copy_n(bytes1.begin() + 108, 9, header.HeaderImage.begin() + 162);
  EXPECT_EQ(EventIdentity(header, Signature("TARQP0410"), 300),
            Identity(format1, "TARQP0410", 300));
}

TEST(CardIdentity, RecognisesACardThroughEraseAndKeepsItsTextsReadable) {
  const auto signature = Signature("TARQP0410");
  const std::string used = "USED CARD               ";
  const std::string fresh = "CARTE FLASH NEUVE       ";
  const TCardIdentity before = CardIdentity(signature, Bytes(used), 3'000'009, 1200);
  const TCardIdentity after = CardIdentity(signature, Bytes(fresh), 3'000'009, 1200);
  EXPECT_EQ(before.Key, after.Key);
  EXPECT_EQ(before.Label, "USED CARD");
  EXPECT_EQ(after.Label, "CARTE FLASH NEUVE");
  EXPECT_EQ(before.Signature, "TARQP0410");
  EXPECT_EQ(before.DataFileSize, 3'000'009);

  EXPECT_NE(CardIdentity(signature, Bytes(used), 3'000'012, 1200).Key, before.Key);
  EXPECT_NE(CardIdentity(Signature("TARQP0508"), Bytes(used), 3'000'009, 1200).Key, before.Key);

  // Bytes that are not text, and a label that runs on into the sector's next field.
  const std::array<uint8_t, 9> odd{'T', 'A', 'R', 'Q', 0, 0xE9, ' ', ' ', ' '};
  const TCardIdentity strange = CardIdentity(odd, Bytes(used + "00001000"), 12, 0);
  EXPECT_EQ(strange.Signature, "TARQ??");
  EXPECT_EQ(strange.Label, "USED CARD");
  EXPECT_EQ(strange.Key,
            "54415251"
            "00e9202020-12");
}

}  // namespace
