#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "flatbuffers/flatbuffers.h"

namespace zarn {

class ZarnPSqLiteDb;
class ZarnPStatement;

// Reads the strings of a data update and binds its values to the table writers' statements. The
// buffer has been verified before any of these run.
class FlatBuffersUtil {
  public:
    // The string's UTF-8 text; nothing when it is absent, empty or not valid UTF-8 (text the
    // service garbled is treated as not sent, never stored half-read).
    static std::optional<std::string> readString(const flatbuffers::String* string);
    // SQL NULL for an absent, empty or invalid string, else its text.
    static void bindStringOrNull(const flatbuffers::String* string, ZarnPStatement& statement, int paramIndex,
                                 ZarnPSqLiteDb& db);
    // SQL NULL when `value` equals `unsetValue` (the field's default), else the value.
    static void bindLongOrNull(int64_t value, ZarnPStatement& statement, int paramIndex, ZarnPSqLiteDb& db,
                               int64_t unsetValue);

    static bool isValidUtf8(std::string_view text);
};

}  // namespace zarn
