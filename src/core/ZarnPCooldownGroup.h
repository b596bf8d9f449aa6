#pragma once
#include <cstddef>
#include <memory>
#include <string>

#include "zarn/ValueFwd.h"

namespace zarn {

// A cooldown group: notifications that share it are not shown again within `duration` seconds
// of its last match. Mutable; used on one thread at a time.
class ZarnPCooldownGroup {
  public:
    ZarnPCooldownGroup() = default;
    ZarnPCooldownGroup(std::string identifier, int duration)
        : identifier_(std::move(identifier)), duration_(duration) {}

    static std::shared_ptr<ZarnPCooldownGroup> cooldownGroup(std::string identifier, int duration);

    const std::string& identifier() const { return identifier_; }
    void setIdentifier(std::string v) { identifier_ = std::move(v); }
    int duration() const { return duration_; }
    void setDuration(int v) { duration_ = v; }

    // {"identifier": identifier, "duration": duration}: the form kept in a scheduled
    // notification's userInfo under "cooldownGroups".
    Value toDictionary() const;
    // Reads "identifier" (a text; anything else gives "") and "duration" (its int value: a
    // number, or a text read as the platform reads one; 0 when absent) back into a new group.
    // Never throws, also when `dictionary` is not an object.
    static std::shared_ptr<ZarnPCooldownGroup> fromDictionary(const Value& dictionary);

    bool operator==(const ZarnPCooldownGroup&) const = default;
    bool isEqual(const ZarnPCooldownGroup& other) const { return *this == other; }
    std::size_t hash() const;
    std::string description() const;

  private:
    std::string identifier_;
    int duration_ = 0;
};

}  // namespace zarn
