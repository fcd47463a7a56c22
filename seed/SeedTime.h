#pragma once
// The times of the standard data products are the program's UTC times (base/UtcTime.h).

#include "base/UtcTime.h"

namespace seed {

using TSeedTime = ::TUtcTime;
using ::DaysInMonth;
using ::IsLeapYear;
using ::MicrosecondsPerDay;
using ::MicrosecondsPerSecond;

}  // namespace seed
