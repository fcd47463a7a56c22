#pragma once
// The error of the standard data products (miniSEED records, the SDS archive, station codes,
// the station sheet and StationXML): its text says what was refused and why, ready to show.

#include <stdexcept>
#include <string>

namespace seed {

class ESeedError : public std::runtime_error {
 public:
  explicit ESeedError(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace seed
