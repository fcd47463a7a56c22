#pragma once
// Names for what a download saved that do not depend on where the card sits: the identity of
// an event and the identity of a card. Both are computed from bytes of the card files only,
// so the same card read through another reader, or copied to a directory, gives the same names.
//
// Event identity: SHA-256, as 64 hexadecimal digits, of
//   the header bytes after the marker (bytes 9-116 of a format-1 header, 9-170 of format 2),
//   the card's 9-byte signature, and
//   the event's offset in the data file as 8 bytes, little-endian.
// Erase and restore rewrite only the marker (DEB <-> ERASED, DEB2 <-> ERASED2), so an event
// keeps its identity through both; two events with identical headers at different places on
// a card are different events. The offset is the byte position of the event's header (its
// marker) in the data file; every caller passes that same position.
//
// Card identity: what recognises a card is its signature and the size of its data file, both
// fixed when the card is initialized and kept by erase (erase rewrites the 24-byte label to
// "CARTE FLASH NEUVE" and the markers, nothing else). The label and the used size are kept
// beside them for the user to read, not for matching: the label changes on erase and the used
// size when the recorder writes again.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/Sha256.h"

#include "card/CardLayout.h"
#include "card/TarqCard.h"

constexpr size_t EventMarkerSize = card_layout::FieldSize;
constexpr size_t EventHeaderSize1 = card_layout::Format1HeaderSize;
constexpr size_t EventHeaderSize2 = card_layout::Format2HeaderSize;
constexpr size_t CardSignatureSize = card_layout::SignatureSize;
constexpr size_t CardLabelSize = card_layout::LabelSize;

// The identity of an event from its header as it lies on the card (117 or 171 bytes, marker
// first). Any other length is a programming error: it throws std::invalid_argument.
std::string EventIdentity(std::span<const uint8_t> header,
                          std::span<const uint8_t, CardSignatureSize> signature,
                          int64_t headerOffset);
// The same from the walk's header values: the header image holds fields 13-18 only for a
// format-2 header and the header's end at bytes 162-170 whatever the format.
std::string EventIdentity(const TEventHeader& header,
                          std::span<const uint8_t, CardSignatureSize> signature,
                          int64_t headerOffset);

// The header of an event as it lies on the card (117 or 171 bytes, marker first), from the walk's
// header values.
std::vector<uint8_t> EventHeaderOnCard(const TEventHeader& header);

// The content of an event: SHA-256, as 64 hexadecimal digits, of its header bytes after the
// marker, then its samples as they lie on the card. The identity above names the event's place;
// this tells whether the bytes there are the ones saved (two recorders of one configuration,
// or a card used again, write equal headers over other samples). The marker is left out: an
// erased event keeps its content.
class TEventContentHash {
 public:
  explicit TEventContentHash(const TEventHeader& header);
  // From the header as it lies on the card, marker first (shorter when the card ends inside it).
  explicit TEventContentHash(std::span<const uint8_t> headerOnCard);
  void AddSamples(const uint8_t* bytes, size_t count) { Hash.Update(bytes, count); }
  std::string FinalHex() { return Hash.FinalHex(); }

 private:
  TSha256 Hash;
};

struct TCardIdentity {
  std::string Key;        // recognises the card: hexadecimal signature bytes "-" data file size
  std::string Signature;  // printable: bytes outside 32-126 become '?', trailing blanks removed
  std::string Label;      // printable, trailing blanks and NULs removed; changes on erase
  int64_t DataFileSize = 0;
  int64_t UsedSize = 0;
};

// label: the first 24 bytes of the sector file (shorter when the file is short or missing).
TCardIdentity CardIdentity(std::span<const uint8_t, CardSignatureSize> signature,
                           std::span<const uint8_t> label, int64_t dataFileSize, int64_t usedSize);
