#include "device/ZarnPGCMMediator.h"

#include "core/ZarnException.h"
#include "core/ZarnPDataHelper.h"
#include "core/ZarnPGzipHelper.h"
#include "core/ZarnPLogger.h"
#include "device/ZarnPGCMMediatorDelegate.h"
#include "device/ZarnPRemoteEventAndNotificationDao.h"

namespace zarn {

ZarnPGCMMediator::ZarnPGCMMediator(ZarnPDataUpdateReadFunction dataUpdateReader,
                                   std::shared_ptr<ZarnPRemoteEventAndNotificationDao> dataUpdateDao)
    : dataUpdateReader_(std::move(dataUpdateReader)), dataUpdateDao_(std::move(dataUpdateDao)) {
    ZARN_REQUIRE(dataUpdateReader_);
    ZARN_REQUIRE(dataUpdateDao_);
}

void ZarnPGCMMediator::setDelegate(std::weak_ptr<ZarnPGCMMediatorDelegate> delegate) {
    delegate_ = std::move(delegate);
}

std::optional<std::vector<std::uint8_t>> ZarnPGCMMediator::decodeAndDecompressMessage(
    std::string_view message) {
    auto compressed = ZarnPDataHelper::dataFromBase64String(message);
    if (compressed.empty())
        return std::nullopt;
    // Bounded: a small pushed payload must not inflate into an exhausted memory.
    auto inflated = ZarnPGzipHelper::gzipInflate(std::span<const std::uint8_t>(compressed),
                                                 ZarnPGzipHelper::kDefaultMaxInflatedSize);
    if (!inflated || inflated->empty())
        return std::nullopt;
    return inflated;
}

void ZarnPGCMMediator::gcmClientDidReceiveMessage(const std::string& message,
                                                  const std::shared_ptr<ZarnPContext>& zarnContext) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto data = decodeAndDecompressMessage(message);
    if (!data) {
        LogWarn(kDomain, "Ignoring a pushed payload that cannot be decoded");
        return;
    }
    const auto* root = dataUpdateReader_(*data);
    if (!root)
        return;  // the reader has logged
    // The root points into `data`, which lives until the save is done.
    dataUpdateDao_->saveDataUpdate(root, zarnContext);
    if (auto delegate = delegate_.lock())
        delegate->loadPushedNotificationsCompleted(zarnContext);
}

}  // namespace zarn
