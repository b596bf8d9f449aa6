#include "core/ZarnPNotificationHandlerUtil.h"

#include "core/ZarnPUserInfoKeys.h"

namespace zarn {

std::string ZarnPNotificationHandlerUtil::handlerToString(unsigned handlerType) {
    switch (handlerType) {
        case ZarnPNotificationHandlerTypeRegular:
            return "NotificationHandlerTypeRegular";
        case ZarnPNotificationHandlerTypeGeotrigger:
            return "NotificationHandlerTypeGeotrigger";
        case ZarnPNotificationHandlerTypeApplink:
            return "NotificationHandlerTypeApplink";
        case ZarnPNotificationHandlerTypeLandingPage:
            return "NotificationHandlerTypeLandingPage";
        case ZarnPNotificationHandlerTypeContextualPage:
            return "NotificationHandlerTypeContextualPage";
        default:
            return "Unknown";
    }
}

const char* ZarnPNotificationHandlerUtil::userInfoName(unsigned handlerType) {
    switch (handlerType) {
        case ZarnPNotificationHandlerTypeLandingPage:
            return userinfo::kHandlerLandingPage;
        case ZarnPNotificationHandlerTypeGeotrigger:
            return userinfo::kHandlerGeotrigger;
        case ZarnPNotificationHandlerTypeApplink:
            return userinfo::kHandlerApplink;
        default:
            return userinfo::kHandlerRegular;
    }
}

unsigned ZarnPNotificationHandlerUtil::fromUserInfoName(const std::optional<std::string>& name) {
    if (name == userinfo::kHandlerLandingPage)
        return ZarnPNotificationHandlerTypeLandingPage;
    if (name == userinfo::kHandlerApplink)
        return ZarnPNotificationHandlerTypeApplink;
    if (name == userinfo::kHandlerGeotrigger)
        return ZarnPNotificationHandlerTypeGeotrigger;
    return ZarnPNotificationHandlerTypeRegular;
}

}  // namespace zarn
