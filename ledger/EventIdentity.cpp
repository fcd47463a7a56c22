#include "ledger/EventIdentity.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace {

std::string Printable(std::span<const uint8_t> bytes) {
  std::string text;
  for (uint8_t byte : bytes) text += byte >= 32 && byte <= 126 ? static_cast<char>(byte) : '?';
  return text;
}

}  // namespace

std::string EventIdentity(std::span<const uint8_t> header,
                          std::span<const uint8_t, CardSignatureSize> signature,
                          int64_t headerOffset) {
  if (header.size() != EventHeaderSize1 && header.size() != EventHeaderSize2) {
    throw std::invalid_argument("event header of " + std::to_string(header.size()) + " bytes");
  }
  TSha256 hash;
  hash.Update(header.data() + EventMarkerSize, header.size() - EventMarkerSize);
  hash.Update(signature.data(), signature.size());
  std::array<uint8_t, 8> offset;
  for (size_t i = 0; i < offset.size(); ++i) {
    offset[i] = static_cast<uint8_t>(static_cast<uint64_t>(headerOffset) >> (8 * i));
  }
  hash.Update(offset.data(), offset.size());
  return hash.FinalHex();
}

std::vector<uint8_t> EventHeaderOnCard(const TEventHeader& header) {
  const auto& image = header.HeaderImage;
  if (header.EventFormat == 2) return {image.begin(), image.end()};
  std::vector<uint8_t> onCard(EventHeaderSize1);
  // Fields 1-12, then the header's end.
  std::copy(image.begin(), image.begin() + card_layout::CommonHeaderSize, onCard.begin());
  std::copy(image.begin() + card_layout::HeaderEndOffset, image.end(),
            onCard.begin() + card_layout::CommonHeaderSize);
  return onCard;
}

std::string EventIdentity(const TEventHeader& header,
                          std::span<const uint8_t, CardSignatureSize> signature,
                          int64_t headerOffset) {
  return EventIdentity(EventHeaderOnCard(header), signature, headerOffset);
}

TEventContentHash::TEventContentHash(const TEventHeader& header)
    : TEventContentHash(EventHeaderOnCard(header)) {}

TEventContentHash::TEventContentHash(std::span<const uint8_t> headerOnCard) {
  const size_t marker = std::min(headerOnCard.size(), EventMarkerSize);
  Hash.Update(headerOnCard.data() + marker, headerOnCard.size() - marker);
}

TCardIdentity CardIdentity(std::span<const uint8_t, CardSignatureSize> signature,
                           std::span<const uint8_t> label, int64_t dataFileSize, int64_t usedSize) {
  TCardIdentity card;
  card.Key = TSha256::Hex(signature) + "-" + std::to_string(dataFileSize);
  card.Signature = Printable(signature);
  while (!card.Signature.empty() && card.Signature.back() == ' ') card.Signature.pop_back();
  label = label.first(std::min(label.size(), CardLabelSize));
  while (!label.empty() && (label.back() == ' ' || label.back() == 0))
    label = label.first(label.size() - 1);
  card.Label = Printable(label);
  card.DataFileSize = dataFileSize;
  card.UsedSize = usedSize;
  return card;
}
