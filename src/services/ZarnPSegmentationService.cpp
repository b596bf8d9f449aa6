#include "services/ZarnPSegmentationService.h"

#include "core/ZarnException.h"
#include "core/ZarnPLogger.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "services/ZarnPNotificationLoading.h"
#include "store/ZarnPSegmentationDao.h"
#include "store/ZarnPSegmentationHistoryDao.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSettingKeys.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "SegmentationService";
}

ZarnPSegmentationService::ZarnPSegmentationService(std::shared_ptr<ZarnPKeyValueDao> keyValueDao,
                                                   std::shared_ptr<ZarnPSegmentationDao> segmentationDao,
                                                   std::shared_ptr<ZarnPSegmentationHistoryDao> historyDao,
                                                   std::shared_ptr<ZarnPSystemPublicLogDao> publicLogDao)
    : keyValueDao_(std::move(keyValueDao)),
      segmentationDao_(std::move(segmentationDao)),
      historyDao_(std::move(historyDao)),
      publicLogDao_(std::move(publicLogDao)) {
    ZARN_REQUIRE(keyValueDao_);
    ZARN_REQUIRE(segmentationDao_);
    ZARN_REQUIRE(historyDao_);
    ZARN_REQUIRE(publicLogDao_);
}

void ZarnPSegmentationService::setNotificationService(
    std::weak_ptr<ZarnPNotificationLoading> notificationService) {
    // Wiring: called once by the module on its building thread, before any use.
    notificationService_ = std::move(notificationService);
}

void ZarnPSegmentationService::setValue(const std::string& value, const std::string& key,
                                        const std::shared_ptr<ZarnPContext>& zarnContext) {
    ZARN_CHECK_SEQUENCE(sequence_);
    LogDebug(kDomain, "Setting %@ = %@", key, value);
    auto oldValue = segmentationDao_->getPropertyValue(key);
    segmentationDao_->setSegmentationValue(value, key, false);
    if (oldValue && *oldValue == value)
        return;
    keyValueDao_->unsetPropertyKey(setting::kBeaconListVersion);
    keyValueDao_->setBoolPropertyValue(true, setting::kForceUpdate);
    if (!oldValue)
        return;
    // The loaded campaigns were chosen for the old value: drop them until the forced update.
    publicLogDao_->logSegmentationChanged(zarnContext);
    if (auto notificationService = notificationService_.lock())
        notificationService->deleteNotifications();
}

void ZarnPSegmentationService::setAdvertisingIdentifier(const std::optional<std::string>& identifier,
                                                        bool advertisingTrackingEnabled) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (identifier && !identifier->empty())
        keyValueDao_->setPropertyValue(*identifier, setting::kAdvertisingIdentifier);
    else
        keyValueDao_->unsetPropertyKey(setting::kAdvertisingIdentifier);
    keyValueDao_->setBoolPropertyValue(advertisingTrackingEnabled, setting::kAdvertisingEnabled);
    LogDebug(kDomain, "Set new identifier: %@ (%@)", identifier.value_or(""),
             advertisingTrackingEnabled ? "enabled" : "disabled");
}

std::optional<std::string> ZarnPSegmentationService::getAdvertisingIdentifier() {
    ZARN_CHECK_SEQUENCE(sequence_);
    return keyValueDao_->getPropertyValueForKey(setting::kAdvertisingIdentifier);
}

std::optional<bool> ZarnPSegmentationService::isAdvertisingEnabled() {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (!keyValueDao_->hasProperty(setting::kAdvertisingEnabled))
        return std::nullopt;
    return keyValueDao_->getBoolPropertyValueForKey(setting::kAdvertisingEnabled);
}

Value ZarnPSegmentationService::getSegmentationProperties() {
    ZARN_CHECK_SEQUENCE(sequence_);
    Value properties = Value::object();
    for (const auto& [key, value] : segmentationDao_->getSegmentationProperties()) properties[key] = value;
    return properties;
}

void ZarnPSegmentationService::clearData() {
    ZARN_CHECK_SEQUENCE(sequence_);
    keyValueDao_->unsetPropertyKey(setting::kAdvertisingEnabled);
    keyValueDao_->unsetPropertyKey(setting::kAdvertisingIdentifier);
    segmentationDao_->clearSegmentationValues();
    historyDao_->clearSegmentationHistory();
}

}  // namespace zarn
