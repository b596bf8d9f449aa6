#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ZarnPSequenceChecker.h"
#include "device/ZarnPGCMClientDelegate.h"
#include "device/ZarnPRawHttpRequest.h"

namespace zarn {

class ZarnPGCMMediatorDelegate;
class ZarnPRemoteEventAndNotificationDao;

// Turns a pushed payload (Base64 text of a gzip stream of a data update) into a saved data
// update, then tells its delegate. A payload that does not decode or inflates past the size
// limit is dropped without a log line; one that holds no readable update (also an empty one) is
// refused by the reader. Either way nothing is saved and the delegate is not told. SDK thread
// only.
class ZarnPGCMMediator final : public ZarnPGCMClientDelegate {
  public:
    static constexpr const char* kDomain = "GCMClient";

    // Both are required.
    ZarnPGCMMediator(ZarnPDataUpdateReadFunction dataUpdateReader,
                     std::shared_ptr<ZarnPRemoteEventAndNotificationDao> dataUpdateDao);
    ZarnPGCMMediator(const ZarnPGCMMediator&) = delete;
    ZarnPGCMMediator& operator=(const ZarnPGCMMediator&) = delete;

    // Held weakly: the notification service, which the module holds.
    void setDelegate(std::weak_ptr<ZarnPGCMMediatorDelegate> delegate);
    std::shared_ptr<ZarnPGCMMediatorDelegate> delegate() const { return delegate_.lock(); }

    void gcmClientDidReceiveMessage(const std::string& message,
                                    const std::shared_ptr<ZarnPContext>& zarnContext) override;

    // The inflated bytes of the payload text (none for text without Base64 data); nothing when
    // the gzip stream is corrupt, truncated or inflates past the limit.
    static std::optional<std::vector<std::uint8_t>> decodeAndDecompressMessage(std::string_view message);

  private:
    ZarnPDataUpdateReadFunction dataUpdateReader_;
    std::shared_ptr<ZarnPRemoteEventAndNotificationDao> dataUpdateDao_;
    std::weak_ptr<ZarnPGCMMediatorDelegate> delegate_;
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
