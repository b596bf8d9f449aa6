#include "core/ZarnPDictionaryHelper.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/Format.h"
#include "core/ZarnPStringReading.h"

namespace zarn {

namespace {

void setError(std::optional<Error>* error, long code, const char* fmt, const std::string& key) {
    if (error && !error->has_value())
        *error = Error{ZarnPDictionaryHelper::kErrorDomain, code, format(fmt, key)};
}

void missing(std::optional<Error>* error, const std::string& key) {
    setError(error, ZarnPDictionaryHelper::kMissingKeyCode, "Missing key: %@", key);
}

// The number, or nullopt after recording the error.
const Value* numberOrError(const Value& dict, const std::string& key, std::optional<Error>* error) {
    const Value* v = ZarnPDictionaryHelper::entry(dict, key);
    if (!v) {
        missing(error, key);
        return nullptr;
    }
    if (!ZarnPDictionaryHelper::isNumber(*v)) {
        setError(error, ZarnPDictionaryHelper::kWrongTypeCode, "Key not a number: %@", key);
        return nullptr;
    }
    return v;
}

template <typename T>
T saturate(double d) {
    if (std::isnan(d))
        return 0;
    constexpr double lo = static_cast<double>(std::numeric_limits<T>::min());
    constexpr double hi = static_cast<double>(std::numeric_limits<T>::max());
    if (d <= lo)
        return std::numeric_limits<T>::min();
    if (d >= hi)
        return std::numeric_limits<T>::max();
    return static_cast<T>(d);
}

template <typename T>
T integerOfNumber(const Value& v) {
    if (v.is_boolean())
        return v.get<bool>() ? 1 : 0;
    if (v.is_number_unsigned()) {
        auto u = v.get<std::uint64_t>();
        return u > static_cast<std::uint64_t>(std::numeric_limits<T>::max()) ? std::numeric_limits<T>::max()
                                                                             : static_cast<T>(u);
    }
    if (v.is_number_integer()) {
        auto i = v.get<std::int64_t>();
        if (i < static_cast<std::int64_t>(std::numeric_limits<T>::min()))
            return std::numeric_limits<T>::min();
        if (i > static_cast<std::int64_t>(std::numeric_limits<T>::max()))
            return std::numeric_limits<T>::max();
        return static_cast<T>(i);
    }
    if (v.is_number_float())
        return saturate<T>(v.get<double>());
    return 0;
}

double doubleOfNumber(const Value& v) {
    if (v.is_boolean())
        return v.get<bool>() ? 1.0 : 0.0;
    if (v.is_number())
        return v.get<double>();
    return 0.0;
}

}  // namespace

Value ZarnPDictionaryHelper::dictObjectForKeyOrElse(const Value& dict, const std::string& key, Value orElse) {
    const Value* v = entry(dict, key);
    return v ? *v : std::move(orElse);
}

std::optional<Value> ZarnPDictionaryHelper::dictObjectForKey(const Value& dict, const std::string& key,
                                                             std::optional<Error>* error) {
    const Value* v = entry(dict, key);
    if (!v) {
        missing(error, key);
        return std::nullopt;
    }
    return *v;
}

std::optional<Value> ZarnPDictionaryHelper::dictNumberForKey(const Value& dict, const std::string& key,
                                                             std::optional<Error>* error) {
    const Value* v = numberOrError(dict, key, error);
    if (!v)
        return std::nullopt;
    return *v;
}

int ZarnPDictionaryHelper::dictIntForKey(const Value& dict, const std::string& key,
                                         std::optional<Error>* error) {
    const Value* v = numberOrError(dict, key, error);
    return v ? integerOfNumber<int>(*v) : 0;
}

bool ZarnPDictionaryHelper::dictBoolForKey(const Value& dict, const std::string& key,
                                           std::optional<Error>* error) {
    const Value* v = numberOrError(dict, key, error);
    return v ? boolValueOf(*v) : false;
}

double ZarnPDictionaryHelper::dictDoubleForKey(const Value& dict, const std::string& key,
                                               std::optional<Error>* error) {
    const Value* v = numberOrError(dict, key, error);
    return v ? doubleOfNumber(*v) : 0.0;
}

std::optional<Value> ZarnPDictionaryHelper::dictOptionalNumberForKey(const Value& dict,
                                                                     const std::string& key,
                                                                     std::optional<Error>* error) {
    const Value* v = entry(dict, key);
    if (!v)
        return std::nullopt;
    if (!isNumber(*v)) {
        setError(error, kWrongTypeCode, "Key not a number: %@", key);
        return std::nullopt;
    }
    return *v;
}

std::optional<std::string> ZarnPDictionaryHelper::dictStringForKey(const Value& dict, const std::string& key,
                                                                   std::optional<Error>* error) {
    const Value* v = entry(dict, key);
    if (!v) {
        missing(error, key);
        return std::nullopt;
    }
    if (!v->is_string()) {
        setError(error, kWrongTypeCode, "Key not a string: %@", key);
        return std::nullopt;
    }
    return v->get<std::string>();
}

std::optional<Value> ZarnPDictionaryHelper::dictArrayForKey(const Value& dict, const std::string& key,
                                                            std::optional<Error>* error) {
    const Value* v = entry(dict, key);
    if (!v) {
        missing(error, key);
        return std::nullopt;
    }
    if (!v->is_array()) {
        setError(error, kWrongTypeCode, "Key not an array: %@", key);
        return std::nullopt;
    }
    return *v;
}

std::optional<Value> ZarnPDictionaryHelper::dictDictionaryForKey(const Value& dict, const std::string& key,
                                                                 std::optional<Error>* error) {
    const Value* v = entry(dict, key);
    if (!v) {
        missing(error, key);
        return std::nullopt;
    }
    if (!v->is_object()) {
        setError(error, kWrongTypeCode, "Key not a dictionary: %@", key);
        return std::nullopt;
    }
    return *v;
}

const Value* ZarnPDictionaryHelper::entry(const Value& dict, std::string_view key) {
    if (!dict.is_object())
        return nullptr;
    auto it = dict.find(key);
    return it == dict.end() ? nullptr : &*it;
}

std::optional<std::string> ZarnPDictionaryHelper::stringEntry(const Value& dict, std::string_view key) {
    const Value* v = entry(dict, key);
    if (!v || !v->is_string())
        return std::nullopt;
    return v->get<std::string>();
}

int ZarnPDictionaryHelper::intEntry(const Value& dict, std::string_view key) {
    const Value* v = entry(dict, key);
    return v ? intValueOf(*v) : 0;
}

int ZarnPDictionaryHelper::intValueOf(const Value& value) {
    if (value.is_string())
        return ZarnPStringReading::intValue(value.get_ref<const std::string&>());
    return integerOfNumber<int>(value);
}

long long ZarnPDictionaryHelper::longLongValueOf(const Value& value) {
    if (value.is_string())
        return ZarnPStringReading::longLongValue(value.get_ref<const std::string&>());
    return integerOfNumber<long long>(value);
}

double ZarnPDictionaryHelper::doubleValueOf(const Value& value) {
    if (value.is_string())
        return ZarnPStringReading::doubleValue(value.get_ref<const std::string&>());
    return doubleOfNumber(value);
}

bool ZarnPDictionaryHelper::boolValueOf(const Value& value) {
    if (value.is_string())
        return ZarnPStringReading::boolValue(value.get_ref<const std::string&>());
    if (value.is_boolean())
        return value.get<bool>();
    if (value.is_number_float()) {
        double d = value.get<double>();
        return d != 0.0 && !std::isnan(d);
    }
    if (value.is_number())
        return value.get<std::int64_t>() != 0;
    return false;
}

}  // namespace zarn
