#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "zarn/Error.h"
#include "zarn/Value.h"

namespace zarn {

// Typed reads of decoded JSON dictionaries with error objects, for the marshallers. Each read
// takes the dictionary, the key and an optional error slot; an error is written only when the
// slot is given and holds no error yet, so the first problem of a series of reads is the one
// reported. Errors have the domain "Zarn"; code -2 "Missing key: <key>", code -3 "Key not a
// number: <key>" (or "a string", "an array", "a dictionary"). A JSON null counts as the wrong
// type. A `dict` that is not an object counts as missing every key. Never throws; any thread.
//
// "Number" means what the platform's JSON reader makes a number: JSON numbers and booleans.
class ZarnPDictionaryHelper {
  public:
    static constexpr const char* kErrorDomain = "Zarn";
    static constexpr long kMissingKeyCode = -2;
    static constexpr long kWrongTypeCode = -3;

    // The value, or `orElse` when the key is missing; never an error.
    static Value dictObjectForKeyOrElse(const Value& dict, const std::string& key, Value orElse);
    // The value (any type, null included); nullopt and -2 when missing.
    static std::optional<Value> dictObjectForKey(const Value& dict, const std::string& key,
                                                 std::optional<Error>* error);
    // The number (a number or boolean Value); nullopt with -2 or -3.
    static std::optional<Value> dictNumberForKey(const Value& dict, const std::string& key,
                                                 std::optional<Error>* error);
    // The number's int value (fractions cut off, saturating at the int limits); 0 with -2 or -3.
    static int dictIntForKey(const Value& dict, const std::string& key, std::optional<Error>* error);
    // The number's bool value (non-zero is true); false with -2 or -3.
    static bool dictBoolForKey(const Value& dict, const std::string& key, std::optional<Error>* error);
    // The number's double value; 0.0 with -2 or -3.
    static double dictDoubleForKey(const Value& dict, const std::string& key, std::optional<Error>* error);
    // The number; nullopt and no error when missing, nullopt and -3 when not a number.
    static std::optional<Value> dictOptionalNumberForKey(const Value& dict, const std::string& key,
                                                         std::optional<Error>* error);
    static std::optional<std::string> dictStringForKey(const Value& dict, const std::string& key,
                                                       std::optional<Error>* error);
    static std::optional<Value> dictArrayForKey(const Value& dict, const std::string& key,
                                                std::optional<Error>* error);
    static std::optional<Value> dictDictionaryForKey(const Value& dict, const std::string& key,
                                                     std::optional<Error>* error);

    // Lenient reads of entries the library wrote itself (userInfo, payloads): never an error,
    // never a copy of the dictionary. A `dict` that is not an object has no entries.
    // The entry (any type, null included), or nullptr when missing; valid while `dict` is.
    static const Value* entry(const Value& dict, std::string_view key);
    // The entry's text; nullopt when missing or not a text.
    static std::optional<std::string> stringEntry(const Value& dict, std::string_view key);
    // The entry's intValueOf (numbers and texts); 0 when missing.
    static int intEntry(const Value& dict, std::string_view key);

    // The platform's "intValue" / "longLongValue" / "doubleValue" / "boolValue" of a value
    // that may be a number or a text (userInfo entries, settings): numbers convert (cut off and
    // saturated), texts are read as ZarnPStringReading reads them, anything else gives 0 / NO.
    static bool isNumber(const Value& value) { return value.is_number() || value.is_boolean(); }
    static int intValueOf(const Value& value);
    static long long longLongValueOf(const Value& value);
    static double doubleValueOf(const Value& value);
    static bool boolValueOf(const Value& value);
};

}  // namespace zarn
