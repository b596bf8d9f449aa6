#pragma once
#include <string>
#include <string_view>

#include "zarn/Date.h"

namespace zarn {

// Formats a date shifted by a time-zone offset with a pattern of the platform's date
// formatter: yyyy, MM, dd, HH, mm, ss, SSS and ZZZZZ (offset as +hh:mm); other characters are
// copied, text in single quotes is literal.
std::string formatDate(Date date, long timeZoneOffsetSeconds, std::string_view pattern);

}  // namespace zarn
