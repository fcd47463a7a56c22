#pragma once
// Parsing of the event header's text fields, shared by the walk and by erase.

#include <cstdint>
#include <string>
#include <string_view>

#include "card/CardLayout.h"
#include "card/TarqCard.h"
#include "platform/RecordFile.h"

namespace card_fields {

using card_layout::FieldSize;

// Field i (1-based) of a header image, trailing blanks removed.
std::string FieldText(const uint8_t* image, int field);

// Position of the first "," (1-based), 0 when there is none.
int CommaPosition(const std::string& text);

// The integer of the text by the number-parsing rule: on failure, the digits read before the
// bad character, without their sign, or 0.
int32_t RuleInt(const std::string& text);

// Field 2: ChannelCount "," StationSerial.
void ParseChannels(TEventHeader& event, const std::string& text);
// Field 8: SampleRate "," DurationMinutes, then SamplesPerChannel. Returns false when
// rate x minutes x 60 does not fit in 32 bits: the header cannot describe a real event.
bool ParseRateDuration(TEventHeader& event, const std::string& text);
// Whether SamplesPerChannel x ChannelCount records can be skipped: not negative and within
// 32 bits, as every record position of the format is.
bool SampleRecordsFit(const TEventHeader& event);

// Closes a file on the way out of a failed operation: no card file may stay open, and the
// error that ended the operation is the one reported.
void Abandon(platform::TRecordFile& file) noexcept;

}  // namespace card_fields
