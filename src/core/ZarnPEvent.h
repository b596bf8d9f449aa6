#pragma once
#include <memory>
#include <string>

#include "zarn/Date.h"
#include "zarn/Value.h"

namespace zarn {

// One stored event: built by the event service, kept by the events table, sent in requests.
// Mutable; used on one thread at a time.
class ZarnPEvent {
  public:
    ZarnPEvent() = default;
    // `extra` must be a JSON object (stores put a dictionary under "match_payload"); anything
    // else is replaced by an empty object.
    ZarnPEvent(std::string identifier, unsigned eventType, Date date, Value extra);

    const std::string& identifier() const { return identifier_; }
    void setIdentifier(std::string v) { identifier_ = std::move(v); }
    // A ZarnPLogEventType value.
    unsigned eventType() const { return eventType_; }
    void setEventType(unsigned v) { eventType_ = v; }
    Date date() const { return date_; }
    void setDate(Date v) { date_ = v; }
    const Value& extra() const { return extra_; }
    void setExtra(Value v);

    std::string description() const;

  private:
    std::string identifier_;
    unsigned eventType_ = 0;
    Date date_{};
    Value extra_ = Value::object();
};

}  // namespace zarn
