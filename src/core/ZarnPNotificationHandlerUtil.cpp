#include "core/ZarnPNotificationHandlerUtil.h"

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

}  // namespace zarn
