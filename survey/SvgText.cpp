#include "survey/SvgText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace survey {

std::string Fixed(double value, int decimals) {
  if (!std::isfinite(value)) return "0";
  char buffer[64];
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  std::string text = error == std::errc() ? std::string(buffer, end) : "0";
  if (text == "-0" || text.find_first_not_of("-0.") == std::string::npos) return "0";
  return text;
}

std::string Shortest(double value) {
  if (!std::isfinite(value)) return "0";
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return error == std::errc() ? std::string(buffer, end) : "0";
}

std::string RampColour(double share) {
  struct TStop {
    double At;
    int R, G, B;
  };
  static constexpr std::array<TStop, 5> stops = {{{0.0, 222, 235, 247},
                                                  {0.25, 107, 174, 214},
                                                  {0.5, 65, 171, 93},
                                                  {0.75, 254, 178, 76},
                                                  {1.0, 189, 0, 38}}};
  share = std::clamp(share, 0.0, 1.0);
  size_t i = 0;
  while (i + 2 < stops.size() && share > stops[i + 1].At) ++i;
  const TStop& a = stops[i];
  const TStop& b = stops[i + 1];
  const double t = (share - a.At) / (b.At - a.At);
  auto mix = [t](int x, int y) {
    return static_cast<int>(std::lround(x + (y - x) * t));
  };
  static constexpr char digits[] = "0123456789abcdef";
  std::string colour = "#";
  for (int channel : {mix(a.R, b.R), mix(a.G, b.G), mix(a.B, b.B)}) {
    colour += digits[channel / 16];
    colour += digits[channel % 16];
  }
  return colour;
}

}  // namespace survey
