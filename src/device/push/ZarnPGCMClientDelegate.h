#pragma once
#include <memory>
#include <string>

namespace zarn {

class ZarnPContext;

// Hears the data-update payloads that the push client received. SDK thread only.
class ZarnPGCMClientDelegate {
  public:
    virtual ~ZarnPGCMClientDelegate() = default;
    // `message` is the payload's "zarn_v2" text; the context is the push run's.
    virtual void gcmClientDidReceiveMessage(const std::string& message,
                                            const std::shared_ptr<ZarnPContext>& zarnContext) = 0;
};

}  // namespace zarn
