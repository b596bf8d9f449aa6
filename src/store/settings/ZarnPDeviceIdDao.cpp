#include "store/settings/ZarnPDeviceIdDao.h"

#include "core/ZarnException.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPUuidGenerator.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSettingKeys.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "DeviceIdDao";
}  // namespace

ZarnPDeviceIdDao::ZarnPDeviceIdDao(std::shared_ptr<ZarnPUuidGenerator> uuidGenerator,
                                   std::shared_ptr<ZarnPKeyValueDao> keyValueDao)
    : uuidGenerator_(std::move(uuidGenerator)), keyValueDao_(std::move(keyValueDao)) {
    ZARN_REQUIRE(uuidGenerator_);
    ZARN_REQUIRE(keyValueDao_);
}

std::string ZarnPDeviceIdDao::getDeviceId() {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (deviceId_)
        return *deviceId_;
    auto stored = keyValueDao_->getPropertyValueForKey(setting::kDeviceId);
    if (!stored || stored->empty()) {
        stored = uuidGenerator_->create();
        keyValueDao_->setPropertyValue(*stored, setting::kDeviceId);
    }
    deviceId_ = stored;
    LogDebug(kDomain, "Using DeviceId: %@", *deviceId_);
    return *deviceId_;
}

void ZarnPDeviceIdDao::resetDeviceId() {
    ZARN_CHECK_SEQUENCE(sequence_);
    deviceId_.reset();
    keyValueDao_->unsetPropertyKey(setting::kDeviceId);
    LogDebug(kDomain, "Clearing Device id");
}

}  // namespace zarn
