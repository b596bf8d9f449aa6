#pragma once

namespace zarn::userinfo {

// The userInfo layout of a scheduled notification and of a geotrigger, the one place each key
// and value is spelled. It is the library's stored format for a shown notification: written by
// the notification builders, read back by the tap handler, the sent-trigger store and the common
// matching, and handed to the app unchanged.

inline constexpr char kIdentifier[] = "identifier";  // the short id
inline constexpr char kMessage[] = "message";
inline constexpr char kTrigger[] = "trigger";  // one of the trigger values below
inline constexpr char kDwellingMinutes[] = "dwellingMinutes";
inline constexpr char kNotificationHandlerType[] = "notificationHandlerType";  // a handler type name below
inline constexpr char kRegionType[] = "regionType";                            // a region type name below
inline constexpr char kMatchRange[] = "matchRange";
inline constexpr char kTriggerProperties[] = "zarnTriggerProperties";
inline constexpr char kIdentifierWithExperiment[] = "identifierWithExperiment";
inline constexpr char kIsAppInForeground[] = "isAppInForeground";
inline constexpr char kBeaconUuid[] = "beaconUuid";
inline constexpr char kAction[] = "action";
inline constexpr char kGeofenceLatitude[] = "geofenceLatitude";
inline constexpr char kGeofenceLongitude[] = "geofenceLongitude";
inline constexpr char kMatchIdentifier[] = "matchIdentifier";
inline constexpr char kMatchPayload[] = "matchPayload";
inline constexpr char kCooldownGroups[] = "cooldownGroups";

// Values of kTrigger (a geotrigger is never "dwelling").
inline constexpr char kTriggerEnter[] = "enter";
inline constexpr char kTriggerDwelling[] = "dwelling";
inline constexpr char kTriggerExit[] = "exit";

// Values of kNotificationHandlerType.
inline constexpr char kHandlerRegular[] = "regular";
inline constexpr char kHandlerGeotrigger[] = "geotrigger";
inline constexpr char kHandlerApplink[] = "applink";
inline constexpr char kHandlerLandingPage[] = "landingPage";

// Values of kRegionType.
inline constexpr char kRegionGeofence[] = "geofence";
inline constexpr char kRegionBeacon[] = "beacon";
inline constexpr char kRegionExternal[] = "external";

}  // namespace zarn::userinfo
