#include "device/ZarnPGCMMediator.h"

#include "core/ZarnException.h"
#include "core/ZarnPDataHelper.h"
#include "core/ZarnPGzipHelper.h"
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
    // Bounded: a small pushed payload must not inflate into an exhausted memory. No bytes
    // inflate to no bytes, which the reader refuses with its own line.
    return ZarnPGzipHelper::gzipInflate(std::span<const std::uint8_t>(compressed),
                                        ZarnPGzipHelper::kDefaultMaxInflatedSize);
}

void ZarnPGCMMediator::gcmClientDidReceiveMessage(const std::string& message,
                                                  const std::shared_ptr<ZarnPContext>& zarnContext) {
    ZARN_CHECK_SEQUENCE(sequence_);
    // A payload that does not decode is dropped without a line: a warning would reach the
    // service as an error event for what is the service's own payload.
    auto data = decodeAndDecompressMessage(message);
    if (!data)
        return;
    const auto* root = dataUpdateReader_(*data);
    if (!root)
        return;  // the reader has logged
    // The root points into `data`, which lives until the save is done.
    dataUpdateDao_->saveDataUpdate(root, zarnContext);
    if (auto delegate = delegate_.lock())
        delegate->loadPushedNotificationsCompleted(zarnContext);
}

}  // namespace zarn
