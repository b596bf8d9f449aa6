#pragma once
#include <functional>
#include <memory>

namespace zarn {

class ZarnPContext;
class ZarnPLocationWithAccuracy;

// The location update service as a caller that needs the current location sees it: the
// external-region entry. SDK thread only.
class ZarnPCurrentLocationGetting {
  public:
    using CompletionHandler = std::function<void(std::shared_ptr<ZarnPLocationWithAccuracy>)>;

    virtual ~ZarnPCurrentLocationGetting() = default;
    // Runs a full update; the handler runs once on the SDK thread with the fix of the run, the
    // cached fix when none came, or nothing when there is neither.
    virtual void performFullUpdateOrGetCurrentLocationWithCompletionHandler(
        CompletionHandler handler, std::shared_ptr<ZarnPContext> context) = 0;
};

}  // namespace zarn
