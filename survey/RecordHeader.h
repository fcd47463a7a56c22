#pragma once
// The header of one miniSEED record, read by the survey itself: an archive is surveyed from
// its records' headers alone (times, codes, rate, sample count, length), which is much faster
// than decoding every record, and the same reading serves records of version 2 and 3.
//
// Version 2: the 48-byte fixed header (either byte order), its blockettes 100 (actual rate),
// 1000 (encoding, word order, record length) and 1001 (microseconds); the time correction is
// added unless the header says it was applied. Version 3: the 40-byte fixed header
// (little-endian), the source identifier "FDSN:NET_STA_LOC_B_S_SS", extra headers and data
// skipped by their lengths.

#include <cstddef>
#include <cstdint>
#include <string>

namespace survey {

struct TRecordHeader {
  int Version = 2;
  std::string Id;       // "NET.STA.LOC.CHA"
  int64_t Start = 0;    // the first sample's time, microseconds since 1970
  double Rate = 0;      // Hz; 0 for a record without samples
  int64_t Samples = 0;  // sample count
  int64_t Length = 0;   // bytes of the whole record; 0 when a version 2 record has no
                        // blockette 1000 (the reader then looks for the next header)
  int Encoding = -1;    // the data's encoding code, -1 when unknown
  int64_t DataOffset = 0;  // from the record's first byte
  int64_t DataLength = 0;  // version 3: the payload's bytes; version 2: 0 (up to the end)

  // The time just after the last sample (the next record's expected start).
  int64_t End() const;
};

// What reading a header gave: a header, bytes still missing, or why it is no record.
struct THeaderRead {
  enum class TKind { Header, NeedMore, Invalid };
  TKind Kind = TKind::Invalid;
  TRecordHeader Header;
  size_t Needed = 0;    // NeedMore: the bytes the header needs
  std::string Problem;  // Invalid: "sample rate -5 Hz", "no miniSEED record header", ...
};

// The bytes that hold any header the reader accepts, except a version 2 header whose
// blockettes lie further (Needed then says how many).
constexpr size_t HeaderProbeBytes = 320;

// Reads the header at `data` (`size` bytes available). A record without samples (a log
// record) is a Header with Samples 0 and Rate 0; a record with samples and a rate outside
// 1 µHz to 1 MHz, or a start or end time that does not exist or lies outside the years
// 1970-2999, is Invalid.
THeaderRead ReadRecordHeader(const unsigned char* data, size_t size);

// Whether the bytes begin a record of version 2 or 3 (the cheap check made before reading a
// header, to find the next record of a version 2 file without blockette 1000).
bool LooksLikeRecordStart(const unsigned char* data, size_t size);

}  // namespace survey
