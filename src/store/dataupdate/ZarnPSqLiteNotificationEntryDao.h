#pragma once
#include <cstdint>
#include <string_view>

#include "core/ZarnPSequenceChecker.h"
#include "store/ZarnPSqLiteDao.h"

namespace flatbuffers {
struct String;
}

namespace zarn {

// Base of the child tables that hold key-value entries of one notification (custom region
// fields, trigger properties): one prepared INSERT of (notification id, key, value) per store,
// an absent or empty key or value bound as NULL. A failed insert raises ZarnPDatabaseException.
class ZarnPSqLiteNotificationEntryDao : public ZarnPSqLiteDao {
  protected:
    using ZarnPSqLiteDao::ZarnPSqLiteDao;

    void saveEntry(std::string_view insertSql, const flatbuffers::String* key,
                   const flatbuffers::String* value, int64_t notificationId);

    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
