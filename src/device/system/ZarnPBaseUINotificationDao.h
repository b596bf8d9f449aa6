#pragma once
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/ZarnPCooldownGroup.h"
#include "core/ZarnPLocation.h"
#include "device/system/ZarnPUINotificationDao.h"
#include "zarn/Value.h"

namespace zarn {

// The builders of the userInfo layout, shared by every notification centre. Keys whose value
// would be nothing are left out; "dwellingMinutes", "matchRange", "action" (empty without data)
// and "matchPayload" (empty without one) are always there; "zarnTriggerProperties" and
// "cooldownGroups" only when not empty. A beacon UUID stored as the text "NULL" counts as none.
class ZarnPBaseUINotificationDao : public ZarnPUINotificationDao {
  public:
    using StringDictionary = std::map<std::string, std::string>;
    using TriggerProperties = std::map<std::string, std::optional<std::string>>;

    // What a notification request or a geotrigger is built from: one view over a loaded
    // notification or a stored sent trigger, read once. A geotrigger uses the fields up to
    // `triggerProperties`; a request uses all of them.
    struct Fields {
        std::optional<std::string> message;
        std::optional<std::string> action;
        std::optional<std::string> identifier;
        std::optional<std::string> identifierWithExperiment;
        std::optional<std::string> matchIdentifier;
        int regionType = 0;
        std::optional<std::string> beaconUuid;
        bool isExit = false;
        std::optional<ZarnPLocation> location;
        int matchRange = 0;
        const TriggerProperties* triggerProperties = nullptr;
        // Notification requests only.
        std::optional<std::string> regionId;
        std::optional<std::string> regionLabel;
        int dwellingMinutes = 0;
        unsigned type = 0;
        const StringDictionary* customRegionFields = nullptr;
        const StringDictionary* matchPayload = nullptr;
        std::optional<bool> isAppInForeground;
        const std::vector<ZarnPCooldownGroup>* cooldownGroups = nullptr;
    };

    // The view of a loaded notification: no match identifier, region type or foreground flag.
    static Fields fieldsOf(const ZarnPNotification& notification);
    // The view of a stored sent trigger: no region id, label, custom region fields, foreground
    // flag or cooldown groups.
    static Fields fieldsOf(const ZarnPSentTrigger& trigger);

    NotificationRequest createNotification(const ZarnPNotification& notification,
                                           const std::optional<std::string>& matchIdentifier, int regionType,
                                           std::optional<bool> isAppInForeground) override;
    std::shared_ptr<ZarnSentNotification> createSentNotification(const ZarnPSentTrigger& trigger) override;
    std::shared_ptr<ZarnGeotrigger> createGeotriggerFromNotification(
        const ZarnPNotification& notification) override;
    std::shared_ptr<ZarnGeotrigger> createGeotriggerFromTrigger(const ZarnPSentTrigger& trigger) override;
    std::shared_ptr<ZarnSentGeotrigger> createSentGeotrigger(const ZarnPSentTrigger& trigger) override;

    // The request with the filled message and action, no trigger.
    static NotificationRequest create(const Fields& fields);
    static std::shared_ptr<ZarnGeotrigger> createGeotrigger(const Fields& fields);

    // Stores `value` under `key` when there is one.
    template <typename T>
    static void checkAndInsert(Value& dictionary, const char* key, const std::optional<T>& value) {
        if (value)
            dictionary[key] = *value;
    }
};

}  // namespace zarn
