#include "store/dataupdate/FlatBuffersUtil.h"

#include <cmath>

#include "store/ZarnPDatabase.h"
#include "store/ZarnPSqLiteDb.h"

namespace zarn {

std::optional<std::string> FlatBuffersUtil::readString(const flatbuffers::String* string) {
    if (!isReadable(string))
        return std::nullopt;
    return std::string(string->c_str(), string->size());
}

bool FlatBuffersUtil::isReadable(const flatbuffers::String* string) {
    return string && string->size() > 0 && isValidUtf8(std::string_view(string->c_str(), string->size()));
}

void FlatBuffersUtil::bindStringOrNull(const flatbuffers::String* string, ZarnPStatement& statement,
                                       int paramIndex, ZarnPSqLiteDb& db) {
    auto database = db.database();
    if (!database)
        return;
    auto text = readString(string);
    if (text)
        database->bindString(statement, paramIndex, *text);
    else
        database->bindNull(statement, paramIndex);
}

void FlatBuffersUtil::bindLongOrNull(int64_t value, ZarnPStatement& statement, int paramIndex,
                                     ZarnPSqLiteDb& db, int64_t unsetValue) {
    auto database = db.database();
    if (!database)
        return;
    if (value == unsetValue)
        database->bindNull(statement, paramIndex);
    else
        database->bindLong(statement, paramIndex, value);
}

const com::zarnkit::velto::dataupdate::fb::LocationDTO* FlatBuffersUtil::readLocation(
    const com::zarnkit::velto::dataupdate::fb::NotificationDTO& notification) {
    const auto* location = notification.location();
    if (!location || !std::isfinite(location->latitude()) || !std::isfinite(location->longitude()))
        return nullptr;
    return location;
}

bool FlatBuffersUtil::isFinite(const com::zarnkit::velto::dataupdate::fb::CircleDTO& circle) {
    return std::isfinite(circle.centerLatitude()) && std::isfinite(circle.centerLongitude()) &&
           std::isfinite(circle.radius());
}

bool FlatBuffersUtil::isValidUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int length;
        uint32_t cp;
        if ((c & 0xE0) == 0xC0) {
            length = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (end - p < length)
            return false;
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        static constexpr uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        p += length;
    }
    return true;
}

}  // namespace zarn
