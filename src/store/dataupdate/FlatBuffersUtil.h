#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "flatbuffers/flatbuffers.h"
#include "schema/dataupdate_generated.h"

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
    // Whether readString gives a text, without copying it.
    static bool isReadable(const flatbuffers::String* string);
    // SQL NULL for an absent, empty or invalid string, else its text.
    static void bindStringOrNull(const flatbuffers::String* string, ZarnPStatement& statement, int paramIndex,
                                 ZarnPSqLiteDb& db);
    // SQL NULL when `value` equals `unsetValue` (the field's default), else the value. Unsigned
    // 32-bit fields (opening hours, temporary ids) pass through here as 64-bit, so their high
    // bit never turns them negative.
    static void bindLongOrNull(int64_t value, ZarnPStatement& statement, int paramIndex, ZarnPSqLiteDb& db,
                               int64_t unsetValue);

    // The notification's location; nothing when it is absent or a coordinate is not finite (a
    // NaN would compare false against every distance and match nowhere, or everywhere).
    static const com::zarnkit::velto::dataupdate::fb::LocationDTO* readLocation(
        const com::zarnkit::velto::dataupdate::fb::NotificationDTO& notification);
    // Whether the circle's centre and radius are all finite; a polygon writer skips one that is not.
    static bool isFinite(const com::zarnkit::velto::dataupdate::fb::CircleDTO& circle);

    // Whether a generated table holds the field of this vtable offset (its VT_ constant), also
    // when it holds the field's default: the "is present" test the writers make of a match range.
    template <typename GeneratedTable>
    static bool isFieldPresent(const GeneratedTable& table, flatbuffers::voffset_t field) {
        // Generated tables derive privately from flatbuffers::Table, which has the test.
        return reinterpret_cast<const flatbuffers::Table*>(&table)->CheckField(field);
    }

    static bool isValidUtf8(std::string_view text);
};

}  // namespace zarn
