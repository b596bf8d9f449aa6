#pragma once
#include <cstddef>
#include <string>

#include "zarn/Date.h"

namespace zarn {

// A dwelling notification whose time is up (read by the per-region-kind match state). A
// read-only value.
class ZarnPLocalNotificationDaoExpiredNotification {
  public:
    ZarnPLocalNotificationDaoExpiredNotification(std::string identifier, std::string matchIdentifier,
                                                 Date sendDate)
        : identifier_(std::move(identifier)),
          matchIdentifier_(std::move(matchIdentifier)),
          sendDate_(sendDate) {}

    const std::string& identifier() const { return identifier_; }
    const std::string& matchIdentifier() const { return matchIdentifier_; }
    Date sendDate() const { return sendDate_; }

    // The same object; otherwise equal identifiers and match identifiers and send dates less
    // than 0.1 s apart.
    bool isEqual(const ZarnPLocalNotificationDaoExpiredNotification& other) const;
    bool operator==(const ZarnPLocalNotificationDaoExpiredNotification& other) const {
        return isEqual(other);
    }
    // The two identifiers only (the date tolerance cannot be hashed).
    std::size_t hash() const;
    std::string description() const;

  private:
    std::string identifier_;
    std::string matchIdentifier_;
    Date sendDate_;
};

}  // namespace zarn
