#pragma once
#include <memory>

#include "core/ZarnPLogListener.h"
#include "core/ZarnPSequenceChecker.h"
#include "zarn/ValueFwd.h"

namespace zarn {

class ZarnPEventLogging;
class ZarnPSystemTimerDao;

// Turns ERROR and WARN lines into stored "error" events, always on the SDK thread and never on
// the logging thread. A line logged while an "error" event is being stored goes to the console
// only, so a failing store cannot feed on itself.
class ZarnPLogEventWriter final : public ZarnPLogListener,
                                  public std::enable_shared_from_this<ZarnPLogEventWriter> {
  public:
    // Both collaborators are required.
    ZarnPLogEventWriter(std::shared_ptr<ZarnPEventLogging> eventService,
                        std::shared_ptr<ZarnPSystemTimerDao> timerDao);

    void didLogMessage(const std::string& message, int level, const std::string& domain) override;
    void logMessageOnRunLoop(const Value& extra);

  private:
    std::shared_ptr<ZarnPEventLogging> eventService_;
    std::shared_ptr<ZarnPSystemTimerDao> timerDao_;
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
