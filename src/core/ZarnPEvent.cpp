#include "core/ZarnPEvent.h"

#include "core/Format.h"
#include "core/ZarnPLogEventType.h"

namespace zarn {

ZarnPEvent::ZarnPEvent(std::string identifier, unsigned eventType, Date date, Value extra)
    : identifier_(std::move(identifier)), eventType_(eventType), date_(date) {
    setExtra(std::move(extra));
}

void ZarnPEvent::setExtra(Value v) {
    extra_ = v.is_object() ? std::move(v) : Value::object();
}

std::string ZarnPEvent::description() const {
    auto name = ZarnPLogEventType::nameForType(eventType_);
    return format("<ZarnPEvent %@ type: %@ date: %@ extra: %@>", identifier_,
                  name ? *name : format("%u", eventType_), date_, extra_);
}

}  // namespace zarn
