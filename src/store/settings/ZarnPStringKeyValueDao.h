#pragma once
#include <optional>
#include <string>

namespace zarn {

// The raw settings store: string values under string keys. SDK thread only.
class ZarnPStringKeyValueDao {
  public:
    virtual ~ZarnPStringKeyValueDao() = default;
    ZarnPStringKeyValueDao() = default;
    ZarnPStringKeyValueDao(const ZarnPStringKeyValueDao&) = delete;
    ZarnPStringKeyValueDao& operator=(const ZarnPStringKeyValueDao&) = delete;

    // The stored value, or nothing for a key never set (and when the store cannot be read).
    virtual std::optional<std::string> getPropertyValueForKey(const std::string& key) = 0;
    // Replaces the key's value. Nothing cannot be stored: the failure is logged and the old
    // value stays (unsetPropertyKey removes a key).
    virtual void setPropertyValue(const std::optional<std::string>& value, const std::string& key) = 0;
    // Removes the key; a key that is not there is no failure.
    virtual void unsetPropertyKey(const std::string& key) = 0;
    // Whether the store can be read at all right now, so that a missing value is known to be
    // missing rather than unreadable.
    virtual bool isReadable() = 0;
};

}  // namespace zarn
