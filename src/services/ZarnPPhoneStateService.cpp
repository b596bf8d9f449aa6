#include "services/ZarnPPhoneStateService.h"

#include <utility>
#include <vector>

#include "core/Format.h"
#include "core/ZarnException.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPStringReading.h"
#include "device/system/ZarnPDelegateDataDao.h"
#include "device/system/ZarnPDeviceDataDao.h"
#include "device/system/ZarnPNotificationsEnabledCallback.h"
#include "services/ZarnPBroadcastNames.h"
#include "services/ZarnPEventLogging.h"
#include "store/ZarnPCommitGroup.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSettingKeys.h"
#include "zarn/Value.h"
#include "zarn/ZarnVersion.h"
#include "zarn/platform/NotificationCenter.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "PhoneStateService";
constexpr int kProvisionalStatus = 3;
constexpr int kStateDisabled = 0;
constexpr int kStateEnabled = 1;
constexpr int kStateProvisional = 3;
}  // namespace

std::shared_ptr<ZarnPPhoneStateService> ZarnPPhoneStateService::create(
    std::shared_ptr<ZarnPKeyValueDao> keyValueDao, std::shared_ptr<ZarnPEventLogging> eventService,
    std::shared_ptr<ZarnPDeviceDataDao> deviceDataDao, std::shared_ptr<ZarnPDelegateDataDao> delegateDataDao,
    std::shared_ptr<platform::NotificationCenter> center, std::shared_ptr<ZarnPSqLiteDb> db) {
    std::shared_ptr<ZarnPPhoneStateService> service(
        new ZarnPPhoneStateService(std::move(keyValueDao), std::move(eventService), std::move(deviceDataDao),
                                   std::move(delegateDataDao), std::move(center)));
    service->db_ = std::move(db);
    service->observe();
    return service;
}

ZarnPPhoneStateService::ZarnPPhoneStateService(std::shared_ptr<ZarnPKeyValueDao> keyValueDao,
                                               std::shared_ptr<ZarnPEventLogging> eventService,
                                               std::shared_ptr<ZarnPDeviceDataDao> deviceDataDao,
                                               std::shared_ptr<ZarnPDelegateDataDao> delegateDataDao,
                                               std::shared_ptr<platform::NotificationCenter> center)
    : keyValueDao_(std::move(keyValueDao)),
      eventService_(std::move(eventService)),
      deviceDataDao_(std::move(deviceDataDao)),
      delegateDataDao_(std::move(delegateDataDao)),
      center_(std::move(center)) {
    ZARN_REQUIRE(keyValueDao_);
    ZARN_REQUIRE(eventService_);
    ZARN_REQUIRE(deviceDataDao_);
    ZARN_REQUIRE(delegateDataDao_);
    ZARN_REQUIRE(center_);
}

ZarnPPhoneStateService::~ZarnPPhoneStateService() {
    center_->removeObserver(this);
}

void ZarnPPhoneStateService::observe() {
    std::weak_ptr<ZarnPPhoneStateService> weak = weak_from_this();
    for (const char* name :
         {broadcast::kInitialized, broadcast::kLocationUpdateCompletedPrivate, broadcast::kWillResignActive})
        center_->addObserver(this, name, [weak](const platform::Broadcast&) {
            if (auto self = weak.lock())
                self->updateStates();
        });
}

bool ZarnPPhoneStateService::systemAtLeast(int major) {
    auto version = deviceDataDao_->platformVersion();
    return version && ZarnPStringReading::intValue(*version) >= major;
}

std::string ZarnPPhoneStateService::nilToEmptyString(const std::optional<std::string>& text) {
    return text ? *text : std::string();
}

std::string ZarnPPhoneStateService::boolToString(bool value) {
    return value ? "yes" : "no";
}

void ZarnPPhoneStateService::updateStates() {
    ZARN_CHECK_SEQUENCE(sequence_);
    sendNotificationsEnabledEvent();
    sendMetaDataEvent();
    sendLocationServicesAvailabilityEvent();
}

void ZarnPPhoneStateService::sendNotificationsEnabledEvent() {
    ZARN_CHECK_SEQUENCE(sequence_);
    std::weak_ptr<ZarnPPhoneStateService> weak = weak_from_this();
    deviceDataDao_->notificationServicesEnabled(
        [weak](std::shared_ptr<ZarnPNotificationsEnabledCallback> state) {
            if (auto self = weak.lock())
                self->sendNotificationsEnabledEvent(state);
        });
}

std::string ZarnPPhoneStateService::notificationStateName(int state) {
    if (state == kStateDisabled)
        return "disabled";
    if (state == kStateProvisional && systemAtLeast(12))
        return "provisional";
    return "enabled";
}

void ZarnPPhoneStateService::sendNotificationsEnabledEvent(
    const std::shared_ptr<ZarnPNotificationsEnabledCallback>& answer) {
    ZARN_CHECK_SEQUENCE(sequence_);
    bool enabled = answer && answer->enabled();
    int state = enabled ? kStateEnabled : kStateDisabled;
    if (answer && systemAtLeast(12) && answer->authorizationStatus() == kProvisionalStatus)
        state = kStateProvisional;
    bool stored = keyValueDao_->hasProperty(setting::kRemoteNotificationsEnabled);
    int storedState =
        stored ? keyValueDao_->getIntPropertyValueForKey(setting::kRemoteNotificationsEnabled) : 0;
    if (stored && storedState == state)
        return;
    ZarnPCommitGroup commits(db_, ZarnPDurability::Normal, kDomain);
    Value extra{{"current", notificationStateName(state)},
                {"previous", stored ? notificationStateName(storedState) : std::string("unknown")}};
    keyValueDao_->setIntPropertyValue(state, setting::kRemoteNotificationsEnabled);
    eventService_->logEventWithType(ZarnPLogEventTypeNotificationState, extra, nullptr);
}

void ZarnPPhoneStateService::sendMetaDataEvent() {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto& device = *deviceDataDao_;
    auto& delegate = *delegateDataDao_;
    std::vector<std::pair<const char*, std::string>> values{
        {setting::kPhoneStateAppName, nilToEmptyString(device.appName())},
        {setting::kPhoneStateAppVersion, nilToEmptyString(device.appVersion())},
        {setting::kPhoneStatePlatform, "iOS"},
        {setting::kPhoneStatePlatformVersion, nilToEmptyString(device.platformVersion())},
        {setting::kPhoneStateFramework, device.framework()},
        {setting::kPhoneStateFrameworkVersion, nilToEmptyString(device.frameworkVersion())},
        {setting::kPhoneStateZarnVersion, kZarnVersion},
        {setting::kPhoneStateHardwareManufacturer, "Apple"},
        {setting::kPhoneStateHardwareModel, nilToEmptyString(device.hardwareModel())},
        {setting::kPhoneStateHardwareHasSlc, boolToString(device.hasSignificantLocationChanges())},
        {setting::kPhoneStateHardwareHasGeofence, boolToString(device.hasGeofences())},
        {setting::kPhoneStateHasNotificationFilter, boolToString(delegate.hasNotificationFilter())},
        {setting::kPhoneStateHasCustomNotificationHandler,
         boolToString(delegate.hasCustomNotificationHandler())},
        {setting::kPhoneStateHasCustomGeotriggerHandler, boolToString(delegate.hasCustomGeotriggerHandler())},
    };
    if (systemAtLeast(14))
        values.emplace_back(setting::kPhoneStateIdfaOptedIn, boolToString(device.idfaOptedIn()));
    // Every value is compared and stored, also after the first change; all in one commit.
    ZarnPCommitGroup commits(db_, ZarnPDurability::Normal, kDomain);
    bool changed = false;
    Value extra = Value::object();
    for (auto& [key, value] : values) {
        changed = isValueUpdatedForStoredValue(value, key) || changed;
        extra[key] = value;
    }
    if (changed)
        eventService_->logEventWithType(ZarnPLogEventTypePhoneState, extra, nullptr);
}

bool ZarnPPhoneStateService::isValueUpdatedForStoredValue(const std::string& value, const std::string& key) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto stored = keyValueDao_->getPropertyValueForKey(key);
    if (stored && *stored == value)
        return false;
    keyValueDao_->setPropertyValue(value, key);
    return true;
}

void ZarnPPhoneStateService::sendLocationServicesAvailabilityEvent() {
    ZARN_CHECK_SEQUENCE(sequence_);
    std::weak_ptr<ZarnPPhoneStateService> weak = weak_from_this();
    deviceDataDao_->backgroundExecutionEnabled([weak](bool enabled) {
        if (auto self = weak.lock())
            self->sendLocationServicesAvailabilityEvent(enabled);
    });
}

void ZarnPPhoneStateService::sendLocationServicesAvailabilityEvent(bool backgroundExecutionEnabled) {
    ZARN_CHECK_SEQUENCE(sequence_);
    bool on = deviceDataDao_->locationServicesEnabled();
    std::string current = on ? (backgroundExecutionEnabled ? "enabled" : "disabledInBackground") : "disabled";
    std::optional<std::string> accuracy;
    if (on && systemAtLeast(14))
        accuracy = deviceDataDao_->accurateLocationEnabled() ? "accurate" : "approximate";

    Value extra{{"current", current}};
    if (accuracy)
        extra["current_accuracy"] = *accuracy;
    auto storedState = keyValueDao_->getPropertyValueForKey(setting::kLocationServicesState);
    auto storedAccuracy = keyValueDao_->getPropertyValueForKey(setting::kLocationServicesStateAccurate);
    if (!storedState && !storedAccuracy) {
        extra["previous"] = "unknown";
        if (accuracy)
            extra["previous_accuracy"] = "unknown";
    } else {
        // Without a current accuracy only the state is compared.
        bool sameState = storedState && *storedState == current;
        bool sameAccuracy = !accuracy || (storedAccuracy && *storedAccuracy == *accuracy);
        if (sameState && sameAccuracy)
            return;
        if (storedState)
            extra["previous"] = *storedState;
        if (storedAccuracy)
            extra["previous_accuracy"] = *storedAccuracy;
    }
    ZarnPCommitGroup commits(db_, ZarnPDurability::Normal, kDomain);
    keyValueDao_->setPropertyValue(current, setting::kLocationServicesState);
    if (accuracy)
        keyValueDao_->setPropertyValue(*accuracy, setting::kLocationServicesStateAccurate);
    eventService_->logEventWithType(ZarnPLogEventTypeLocationServicesState, extra, nullptr);
}

void ZarnPPhoneStateService::clearData() {
    ZARN_CHECK_SEQUENCE(sequence_);
    for (const char* key :
         {setting::kPhoneStateAppName, setting::kPhoneStateAppVersion, setting::kPhoneStatePlatform,
          setting::kLocationServicesState, setting::kRemoteNotificationsEnabled})
        keyValueDao_->unsetPropertyKey(key);
}

std::string ZarnPPhoneStateService::getAppInformation() {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto& device = *deviceDataDao_;
    return format(
        "App name: %@\nApp version: %@\nIOS Version: %@\nFramework: %@\nModel: %@\nZarn version: %@",
        nilToEmptyString(device.appName()), nilToEmptyString(device.appVersion()),
        nilToEmptyString(device.platformVersion()), device.framework(),
        nilToEmptyString(device.hardwareModel()), kZarnVersion);
}

}  // namespace zarn
