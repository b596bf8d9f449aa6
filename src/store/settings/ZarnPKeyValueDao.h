#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "zarn/Date.h"

namespace zarn {

// The library's typed persistent settings, stored as text under string keys: booleans as
// "enabled" / "disabled", numbers as decimal text, dates as seconds since 1970, string lists as
// a compact JSON array. Called on the SDK thread.
class ZarnPKeyValueDao {
  public:
    virtual ~ZarnPKeyValueDao() = default;

    // The stored text, or nothing for a missing key.
    virtual std::optional<std::string> getPropertyValueForKey(const std::string& key) = 0;
    virtual void setPropertyValue(const std::string& value, const std::string& key) = 0;

    // YES exactly when the stored text is "enabled"; a missing key reads the default (NO).
    virtual bool getBoolPropertyValueForKey(const std::string& key) = 0;
    virtual bool getBoolPropertyValueForKey(const std::string& key, bool defaultValue) = 0;
    virtual void setBoolPropertyValue(bool value, const std::string& key) = 0;

    // The leading decimal integer of the text, saturating; 0 when missing or not a number.
    virtual void setIntPropertyValue(int value, const std::string& key) = 0;
    virtual int getIntPropertyValueForKey(const std::string& key) = 0;
    virtual void setLongPropertyValue(int64_t value, const std::string& key) = 0;
    virtual int64_t getLongPropertyValueForKey(const std::string& key) = 0;

    // Seconds since 1970 as double text; nothing for a missing key.
    virtual void setDatePropertyValue(Date value, const std::string& key) = 0;
    virtual std::optional<Date> getDatePropertyValueForKey(const std::string& key) = 0;

    // A missing key reads an empty list; text that is not a JSON array of strings reads nothing
    // (and is logged).
    virtual std::optional<std::vector<std::string>> getStringArrayPropertyValueForKey(
        const std::string& key) = 0;
    virtual void setStringArrayPropertyValue(const std::vector<std::string>& value,
                                             const std::string& key) = 0;

    // 0.0 for a missing key or text that is not a number.
    virtual void setDoublePropertyValue(double value, const std::string& key) = 0;
    virtual double getDoublePropertyValueForKey(const std::string& key) = 0;

    virtual void unsetPropertyKey(const std::string& key) = 0;
    // Whether a value is stored under the key.
    virtual bool hasProperty(const std::string& key) = 0;
    // Whether the settings can be read at all: when not, a missing value may only be unreadable.
    virtual bool isReadable() = 0;
};

}  // namespace zarn
