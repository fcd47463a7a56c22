#pragma once
// The layout of a card's files: names, sizes, markers, signatures and labels. The walk, the
// maintenance operations, the download and the command-line tool take them from here.

#include <cstdint>
#include <string_view>

namespace card_layout {

// The card files in the card's root directory (found whatever the case of their names).
constexpr std::string_view DataFileName = "fichbase.dat";
constexpr std::string_view SectorFileName = "secttarq.hex";

// The data file is read and written in records of one 3-byte sample.
constexpr int RecordSize = 3;
// Header fields, the signature, the header end and the trailer are 9 bytes (3 records) each.
constexpr int FieldSize = 9;
constexpr int FieldRecords = FieldSize / RecordSize;
constexpr int SignatureSize = 9;
constexpr int64_t FirstEventRecord = SignatureSize / RecordSize;  // after the signature
constexpr int TrailerSize = 9;

// Event headers: 12 fields and the header end (format 1), or 18 fields and the header end
// (format 2).
constexpr int Format1Fields = 12;
constexpr int Format2Fields = 18;
constexpr int CommonHeaderSize = Format1Fields * FieldSize;                    // 108: fields 1-12
constexpr int Format2ExtraSize = (Format2Fields - Format1Fields) * FieldSize;  // 54
constexpr int Format1HeaderSize = CommonHeaderSize + FieldSize;                // 117
constexpr int Format2HeaderSize = Format2Fields * FieldSize + FieldSize;       // 171
constexpr int HeaderEndOffset = Format2Fields * FieldSize;  // where HeaderImage keeps it: 162

// The marker of field 1: live events, and erased ones (restore mode lists those).
constexpr std::string_view LiveMarker1 = "DEB";
constexpr std::string_view LiveMarker2 = "DEB2";
constexpr std::string_view ErasedMarker1 = "ERASED";
constexpr std::string_view ErasedMarker2 = "ERASED2";
// The erased markers as erase writes them, blank-padded to the field.
constexpr std::string_view ErasedField1 = "ERASED   ";
constexpr std::string_view ErasedField2 = "ERASED2  ";

// The signature: "TARQPROBE" (version 0), "TARQP" + version in characters 7-9, or "TARQ" +
// version in characters 6-9.
constexpr std::string_view PlainSignature = "TARQPROBE";
constexpr std::string_view VersionSignatureLong = "TARQP";
constexpr std::string_view VersionSignatureShort = "TARQ";

// The sector file: the label, the data end in hex digits, zeros.
constexpr int SectorFileSize = 2048;
constexpr int LabelSize = 24;
constexpr int DataEndHexSize = 8;
constexpr std::string_view NewCardLabel = "CARTE FLASH NEUVE       ";  // 24 characters

// The largest data file the 32-bit record positions of the format can walk: a whole number of
// records below 2 GiB.
constexpr int64_t LargestDataFile = 2147483646;

// The message of every operation that needs a valid card and has none.
constexpr const char* NotValidCardText = "Not a valid flash card";

static_assert(NewCardLabel.size() == LabelSize);
static_assert(Format1HeaderSize == 117 && Format2HeaderSize == 171);

}  // namespace card_layout
