#pragma once
// SDS archives for the survey's tests and benchmarks: segments of samples packed as miniSEED 2
// records by the project's packer and filed by the archive writer, or written as miniSEED 3
// records (32-bit integers) straight into a day file.

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// Microseconds since 1970 of a UTC date and time.
int64_t UtcMicroseconds(int year, int month, int day, int hour = 0, int minute = 0,
                        int second = 0, int microsecond = 0);

// The records of one segment (codes from "NET.STA.LOC.CHA").
std::string PackSegment(const std::string& id, double rate, int64_t start,
                        const std::vector<int32_t>& samples, int recordLength = 512);
// Packs a segment and files its records into the archive at `root`.
void AddSegment(const std::string& root, const std::string& id, double rate, int64_t start,
                const std::vector<int32_t>& samples, int recordLength = 512);
// One miniSEED 3 record of 32-bit little-endian integers.
std::string Version3Record(const std::string& id, double rate, int64_t start,
                           const std::vector<int32_t>& samples);
// The day file's path of a channel and day under `root`, its directories created.
std::string DayFilePath(const std::string& root, const std::string& id, int64_t time);

}  // namespace testing_support
