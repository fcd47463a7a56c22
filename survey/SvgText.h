#pragma once
// Numbers and colours in the survey's SVG drawings, written the same under every locale.

#include <string>

namespace survey {

// `value` with `decimals` digits after the point ("12.5", "-3").
std::string Fixed(double value, int decimals = 1);
// The shortest text that reads back as `value` ("0.00012", "250").
std::string Shortest(double value);
// A colour of the density ramp for a share in [0, 1]: pale blue to dark red, "#rrggbb".
std::string RampColour(double share);

}  // namespace survey
