#pragma once

namespace zarn::setting {

// The keys of the key-value settings table, the one place each is spelled. They are stored in
// every installed database: a key never changes its text.

// Booleans.
inline constexpr char kEnabled[] = "zarn_enabled";
inline constexpr char kNotificationInitialized[] = "zarn_notification_initialized";
inline constexpr char kAdvertisingEnabled[] = "zarn_advertising_enabled";
inline constexpr char kForceUpdate[] = "zarn_force_update";
inline constexpr char kStoreEvents[] = "zarn_store_events";

// Integers.
inline constexpr char kMaxRegionsMonitored[] = "zarn_max_regions_monitored";        // 0 or 5 to 20
inline constexpr char kCooldownPeriod[] = "zarn_cooldown_period";                   // seconds, never negative
inline constexpr char kCooldownPeriodOverride[] = "zarn_cooldown_period_override";  // -1 when not set
inline constexpr char kSuspendInterval[] = "zarn_suspend_interval";                 // seconds

// Doubles.
inline constexpr char kLastMatchLocationLatitude[] = "zarn_last_match_location_latitude";
inline constexpr char kLastMatchLocationLongitude[] = "zarn_last_match_location_longitude";
inline constexpr char kLastMatchLocationAccuracy[] = "zarn_last_match_location_accuracy";

// Dates.
inline constexpr char kLastMatchDate[] = "zarn_last_match_date";
inline constexpr char kLastMatchRun[] = "zarn_last_match_run";
inline constexpr char kLastHeartbeatDate[] = "zarn_last_heartbeat_date";

// Texts and lists.
inline constexpr char kPublicToken[] = "zarn_public_token";
inline constexpr char kXamarinVersion[] = "zarn_xamarin_version";
inline constexpr char kAdvertisingIdentifier[] = "zarn_advertising_identifier";
inline constexpr char kGcmPublicTokens[] = "zarn_gcm_public_tokens";  // a string list
inline constexpr char kDeviceId[] = "deviceId";
// Removed when the segmentation changes.
inline constexpr char kBeaconListVersion[] = "beacon_list_version";

// Phone state: the states last reported, under plain keys.
inline constexpr char kRemoteNotificationsEnabled[] = "remote_notifications_enabled";  // int 0, 1, 3
inline constexpr char kLocationServicesState[] = "location_services_state";
inline constexpr char kLocationServicesStateAccurate[] = "location_services_state_accurate";

// Phone state: each value of the "phone_state" event last reported, under that value's event key.
inline constexpr char kPhoneStateAppName[] = "app_name";
inline constexpr char kPhoneStateAppVersion[] = "app_version";
inline constexpr char kPhoneStatePlatform[] = "platform";
inline constexpr char kPhoneStatePlatformVersion[] = "platform_version";
inline constexpr char kPhoneStateFramework[] = "framework";
inline constexpr char kPhoneStateFrameworkVersion[] = "framework_version";
inline constexpr char kPhoneStateZarnVersion[] = "zarn_version";
inline constexpr char kPhoneStateHardwareManufacturer[] = "hardware_manufacturer";
inline constexpr char kPhoneStateHardwareModel[] = "hardware_model";
inline constexpr char kPhoneStateHardwareHasSlc[] = "hardware_has_slc";
inline constexpr char kPhoneStateHardwareHasGeofence[] = "hardware_has_geofence";
inline constexpr char kPhoneStateHasNotificationFilter[] = "has_notification_filter";
inline constexpr char kPhoneStateHasCustomNotificationHandler[] = "has_custom_notification_handler";
inline constexpr char kPhoneStateHasCustomGeotriggerHandler[] = "has_custom_geotrigger_handler";
inline constexpr char kPhoneStateIdfaOptedIn[] = "idfa_opted_in";

}  // namespace zarn::setting
