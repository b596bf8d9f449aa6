#pragma once

namespace zarn::broadcast {

// The library's own broadcasts on the notification centre and the keys of their userInfo, the
// one place each is spelled. The platform's broadcasts that a host posts are in
// include/zarn/platform.

// Posted by the facade, with the facade as object and no userInfo.
inline constexpr char kInitialized[] = "Zarn_Initialized";
inline constexpr char kEnabled[] = "Zarn_Enabled";
inline constexpr char kDisabled[] = "Zarn_Disabled";
inline constexpr char kWillResignActive[] = "Zarn_Will_Resign_Active";

// Posted by the location update service, with the service as object.
inline constexpr char kLocationUpdateCompleted[] = "Zarn_Location_Update_Completed";
inline constexpr char kLocationUpdateCompletedPrivate[] = "Zarn_Location_Update_Completed_Private";
inline constexpr char kWontUpdate[] = "Zarn_Wont_Update";
// The location: public on kLocationUpdateCompleted, internal on the other two.
inline constexpr char kCurrentLocationKey[] = "current_location";
// The tracking context of the run, on kLocationUpdateCompletedPrivate.
inline constexpr char kZarnContextKey[] = "zarnContextKey";

// Posted by the app-side hooks with their answers, and when a hook is released.
inline constexpr char kOfferedNotificationShow[] = "Zarn_Offered_Notification_Show";
inline constexpr char kOfferedNotificationDealloc[] = "Zarn_Offered_Notification_Dealloc";
inline constexpr char kOfferedGeotriggerHandled[] = "Zarn_Offered_Geotrigger_Handled";
inline constexpr char kOfferedGeotriggerDealloc[] = "Zarn_Offered_Geotrigger_Dealloc";
inline constexpr char kNotificationsShowKey[] = "notifications_show";
inline constexpr char kNotificationsOfferedKey[] = "notifications_offered";
inline constexpr char kNotificationsBackgroundTaskKey[] = "notifications_background_task";
inline constexpr char kGeotriggersHandledKey[] = "geotriggers_handled";
inline constexpr char kGeotriggersOfferedKey[] = "geotriggers_offered";
inline constexpr char kGeotriggersBackgroundTaskKey[] = "geotriggers_background_task";
// The tracking context of an answer that came in time.
inline constexpr char kHookContextKey[] = "zarnContext";

}  // namespace zarn::broadcast
