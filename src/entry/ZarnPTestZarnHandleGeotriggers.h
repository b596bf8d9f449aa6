#pragma once
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "core/ZarnPFirstAnswer.h"
#include "zarn/ZarnHooks.h"

namespace zarn {

// The stand-alone geotrigger hook an app uses to check its handler: it keeps the first answer
// and wakes whoever waits for it. Any thread.
class ZarnPTestZarnHandleGeotriggers final : public ZarnHandleGeotriggers {
  public:
    explicit ZarnPTestZarnHandleGeotriggers(std::vector<std::shared_ptr<ZarnGeotrigger>> geotriggers,
                                            std::chrono::milliseconds timeout = std::chrono::seconds(10));

    void markGeotriggersHandled(const std::vector<std::shared_ptr<ZarnGeotrigger>>& geotriggers) override;
    // The saved answer at once when there is one, else waits up to the timeout for it.
    std::optional<std::vector<std::shared_ptr<ZarnGeotrigger>>> result();

  private:
    const std::chrono::milliseconds timeout_;
    ZarnPFirstAnswer<std::vector<std::shared_ptr<ZarnGeotrigger>>> result_;
};

}  // namespace zarn
