#pragma once
#include <utility>

#include "zarn/Value.h"

namespace zarn {

// A region trigger that the app reported: built by the facade, matched by the external-region
// matching.
class ZarnPExternalRegionRequest {
  public:
    // initWithProperties:triggerType:matchPayload:
    ZarnPExternalRegionRequest(Value properties, unsigned triggerType, Value matchPayload)
        : properties_(std::move(properties)),
          triggerType_(triggerType),
          matchPayload_(std::move(matchPayload)) {}

    // An array of dictionaries, each the trigger properties of one reported region.
    const Value& properties() const { return properties_; }
    void setProperties(Value v) { properties_ = std::move(v); }
    // A ZarnPExternalTriggerType value: 0 enter, 1 exit.
    unsigned triggerType() const { return triggerType_; }
    void setTriggerType(unsigned v) { triggerType_ = v; }
    // A dictionary of texts; null when not given.
    const Value& matchPayload() const { return matchPayload_; }
    void setMatchPayload(Value v) { matchPayload_ = std::move(v); }

  private:
    Value properties_;
    unsigned triggerType_ = 0;
    Value matchPayload_;
};

}  // namespace zarn
