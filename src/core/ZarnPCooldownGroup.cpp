#include "core/ZarnPCooldownGroup.h"

#include <functional>

#include "core/Format.h"
#include "core/ZarnPDictionaryHelper.h"

namespace zarn {

std::shared_ptr<ZarnPCooldownGroup> ZarnPCooldownGroup::cooldownGroup(std::string identifier, int duration) {
    return std::make_shared<ZarnPCooldownGroup>(std::move(identifier), duration);
}

Value ZarnPCooldownGroup::toDictionary() const {
    return Value{{"identifier", identifier_}, {"duration", duration_}};
}

std::shared_ptr<ZarnPCooldownGroup> ZarnPCooldownGroup::fromDictionary(const Value& dictionary) {
    auto group = std::make_shared<ZarnPCooldownGroup>();
    if (!dictionary.is_object())
        return group;
    auto duration = dictionary.find("duration");
    if (duration != dictionary.end())
        group->duration_ = ZarnPDictionaryHelper::intValueOf(*duration);
    auto identifier = dictionary.find("identifier");
    if (identifier != dictionary.end() && identifier->is_string())
        group->identifier_ = identifier->get<std::string>();
    return group;
}

std::size_t ZarnPCooldownGroup::hash() const {
    return std::hash<std::string>{}(identifier_)*31 + std::hash<int>{}(duration_);
}

std::string ZarnPCooldownGroup::description() const {
    return format("<ZarnPCooldownGroup identifier: %@ duration: %d>", identifier_, duration_);
}

}  // namespace zarn
