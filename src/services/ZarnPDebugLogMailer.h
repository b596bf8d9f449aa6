#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zarn/ViewController.h"

namespace zarn {

class ZarnPMailHelper;
class ZarnPPhoneStateReporting;
class ZarnPSystemPublicLogDao;
class ZarnPSystemTimerDao;

// Mails the debug log: the export and the app information are built on the SDK thread, then a
// mail helper for the app's view controller shows them on the main thread.
class ZarnPDebugLogMailer final : public std::enable_shared_from_this<ZarnPDebugLogMailer> {
  public:
    // Makes the main-thread helper for a parent view controller.
    using HelperFactory = std::function<std::shared_ptr<ZarnPMailHelper>(std::shared_ptr<ViewController>)>;

    // Every collaborator is required.
    ZarnPDebugLogMailer(std::shared_ptr<ZarnPSystemTimerDao> timerDao,
                        std::shared_ptr<ZarnPSystemPublicLogDao> publicLogDao,
                        std::shared_ptr<ZarnPPhoneStateReporting> phoneStateService,
                        HelperFactory helperFactory);

    // Any thread; posts to the SDK thread without waiting.
    void mailDebugLog(std::shared_ptr<ViewController> parent);
    // SDK thread.
    void mailDebugLogOnRunLoop(std::shared_ptr<ViewController> parent);
    // Main thread: the information is plain text built on the SDK thread.
    void mailDebugLogShow(std::shared_ptr<ViewController> parent,
                          std::optional<std::vector<std::uint8_t>> data, const std::string& appInformation);

  private:
    std::shared_ptr<ZarnPSystemTimerDao> timerDao_;
    std::shared_ptr<ZarnPSystemPublicLogDao> publicLogDao_;
    std::shared_ptr<ZarnPPhoneStateReporting> phoneStateService_;
    HelperFactory helperFactory_;
};

}  // namespace zarn
