#pragma once
#include <optional>
#include <string>

#include "zarn/ValueFwd.h"

namespace zarn {

// The shape of an external region report from the app, checked at the entry before anything
// starts: a trigger type "enter" or "exit"; properties a list of dictionaries, one per region,
// whose values are texts (or null, for a property without a value); a match payload that is a
// dictionary or null. A report of any other shape could never match or would be read wrongly.
// Stateless; any thread.
class ZarnPExternalRegionShape {
  public:
    // Nothing for a report of the expected shape; else the one line that refuses it, naming the
    // first wrong part and the shape expected.
    static std::optional<std::string> problem(const Value& properties, const std::string& triggerType,
                                              const Value& matchPayload);
};

}  // namespace zarn
