#pragma once
#include <memory>
#include <optional>

#include "zarn/Error.h"
#include "zarn/Value.h"

namespace zarn {

class ZarnPLocation;

// Locations as {"latitude": double, "longitude": double} (degrees). Stateless; any thread.
class ZarnPLocationMarshaller {
  public:
    static Value locationToDictionary(const ZarnPLocation& location);
    // Nothing with the first read error set (-2 missing, -3 not a number), or nothing at once
    // when `error` already holds one.
    static std::shared_ptr<ZarnPLocation> dictionaryToLocation(const Value& dict,
                                                               std::optional<Error>* error);
};

}  // namespace zarn
