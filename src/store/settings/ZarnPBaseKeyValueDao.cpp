#include "store/settings/ZarnPBaseKeyValueDao.h"

#include <charconv>
#include <cmath>

#include "core/ZarnException.h"
#include "core/ZarnPJson.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPStringReading.h"
#include "store/settings/ZarnPStringKeyValueDao.h"
#include "zarn/Value.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "ZarnPBaseKeyValueDao";
constexpr const char* kEnabled = "enabled";
constexpr const char* kDisabled = "disabled";
}  // namespace

ZarnPBaseKeyValueDao::ZarnPBaseKeyValueDao(std::shared_ptr<ZarnPStringKeyValueDao> baseDao)
    : baseDao_(std::move(baseDao)) {
    ZARN_REQUIRE(baseDao_);
}

std::string ZarnPBaseKeyValueDao::doubleText(double value) {
    char buf[64];
    // to_chars never looks at the locale.
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    if (ec != std::errc())
        return "0";
    return std::string(buf, end);
}

std::optional<std::string> ZarnPBaseKeyValueDao::getPropertyValueForKey(const std::string& key) {
    return baseDao_->getPropertyValueForKey(key);
}

void ZarnPBaseKeyValueDao::setPropertyValue(const std::string& value, const std::string& key) {
    baseDao_->setPropertyValue(value, key);
}

bool ZarnPBaseKeyValueDao::getBoolPropertyValueForKey(const std::string& key) {
    return getBoolPropertyValueForKey(key, false);
}

bool ZarnPBaseKeyValueDao::getBoolPropertyValueForKey(const std::string& key, bool defaultValue) {
    auto text = baseDao_->getPropertyValueForKey(key);
    if (!text)
        return defaultValue;
    return *text == kEnabled;
}

void ZarnPBaseKeyValueDao::setBoolPropertyValue(bool value, const std::string& key) {
    baseDao_->setPropertyValue(std::string(value ? kEnabled : kDisabled), key);
}

void ZarnPBaseKeyValueDao::setIntPropertyValue(int value, const std::string& key) {
    baseDao_->setPropertyValue(std::to_string(value), key);
}

int ZarnPBaseKeyValueDao::getIntPropertyValueForKey(const std::string& key) {
    auto text = baseDao_->getPropertyValueForKey(key);
    return text ? ZarnPStringReading::intValue(*text) : 0;
}

void ZarnPBaseKeyValueDao::setLongPropertyValue(int64_t value, const std::string& key) {
    baseDao_->setPropertyValue(std::to_string(value), key);
}

int64_t ZarnPBaseKeyValueDao::getLongPropertyValueForKey(const std::string& key) {
    auto text = baseDao_->getPropertyValueForKey(key);
    return text ? static_cast<int64_t>(ZarnPStringReading::longLongValue(*text)) : 0;
}

void ZarnPBaseKeyValueDao::setDatePropertyValue(Date value, const std::string& key) {
    setFiniteDouble(timeIntervalSince1970(value), key);
}

std::optional<Date> ZarnPBaseKeyValueDao::getDatePropertyValueForKey(const std::string& key) {
    auto text = baseDao_->getPropertyValueForKey(key);
    if (!text)
        return std::nullopt;
    return dateWithTimeIntervalSince1970(ZarnPStringReading::doubleValue(*text));
}

std::optional<std::vector<std::string>> ZarnPBaseKeyValueDao::getStringArrayPropertyValueForKey(
    const std::string& key) {
    auto text = baseDao_->getPropertyValueForKey(key);
    if (!text)
        return std::vector<std::string>{};
    Error error;
    auto parsed = ZarnPJson::parse(*text, &error);
    if (parsed && !parsed->is_array()) {
        parsed.reset();
        error = Error{"Zarn", -3, format("Key not an array: %@", key)};
    }
    std::vector<std::string> out;
    if (parsed) {
        for (const auto& element : *parsed) {
            if (!element.is_string()) {
                parsed.reset();
                error = Error{"Zarn", -3, format("Key not an array of strings: %@", key)};
                break;
            }
            out.push_back(element.get<std::string>());
        }
    }
    if (!parsed) {
        LogNsError(kDomain, error, "Failed to read property");
        return std::nullopt;
    }
    return out;
}

void ZarnPBaseKeyValueDao::setStringArrayPropertyValue(const std::vector<std::string>& value,
                                                       const std::string& key) {
    std::string text;
    try {
        text = ZarnPJson::serialise(Value(value));
    } catch (const std::exception& e) {
        LogNsError(kDomain, Error{ZarnPJson::kErrorDomain, ZarnPJson::kErrorCode, e.what()},
                   "Failed to save array");
        return;
    }
    baseDao_->setPropertyValue(text, key);
}

void ZarnPBaseKeyValueDao::setDoublePropertyValue(double value, const std::string& key) {
    setFiniteDouble(value, key);
}

void ZarnPBaseKeyValueDao::setFiniteDouble(double value, const std::string& key) {
    // Infinity and NaN have no text that reads back; keeping the old value beats storing a 0.
    if (!std::isfinite(value)) {
        LogError(kDomain, "Refusing to store a non-finite number for key %@", key);
        return;
    }
    baseDao_->setPropertyValue(doubleText(value), key);
}

double ZarnPBaseKeyValueDao::getDoublePropertyValueForKey(const std::string& key) {
    auto text = baseDao_->getPropertyValueForKey(key);
    return text ? ZarnPStringReading::doubleValue(*text) : 0.0;
}

void ZarnPBaseKeyValueDao::unsetPropertyKey(const std::string& key) {
    baseDao_->unsetPropertyKey(key);
}

bool ZarnPBaseKeyValueDao::isReadable() {
    return baseDao_->isReadable();
}

bool ZarnPBaseKeyValueDao::hasProperty(const std::string& key) {
    return baseDao_->getPropertyValueForKey(key).has_value();
}

}  // namespace zarn
