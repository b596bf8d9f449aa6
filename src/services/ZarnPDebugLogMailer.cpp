#include "services/ZarnPDebugLogMailer.h"

#include "core/ZarnException.h"
#include "core/ZarnPSystemTimerDao.h"
#include "device/system/ZarnPMailHelper.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "services/ZarnPPhoneStateReporting.h"

namespace zarn {

ZarnPDebugLogMailer::ZarnPDebugLogMailer(std::shared_ptr<ZarnPSystemTimerDao> timerDao,
                                         std::shared_ptr<ZarnPSystemPublicLogDao> publicLogDao,
                                         std::shared_ptr<ZarnPPhoneStateReporting> phoneStateService,
                                         HelperFactory helperFactory)
    : timerDao_(std::move(timerDao)),
      publicLogDao_(std::move(publicLogDao)),
      phoneStateService_(std::move(phoneStateService)),
      helperFactory_(std::move(helperFactory)) {
    ZARN_REQUIRE(timerDao_);
    ZARN_REQUIRE(publicLogDao_);
    ZARN_REQUIRE(phoneStateService_);
    ZARN_REQUIRE(helperFactory_);
}

void ZarnPDebugLogMailer::mailDebugLog(std::shared_ptr<ViewController> parent) {
    timerDao_->invokeSelectorOnRunLoop(&ZarnPDebugLogMailer::mailDebugLogOnRunLoop, shared_from_this(), false,
                                       std::move(parent));
}

void ZarnPDebugLogMailer::mailDebugLogOnRunLoop(std::shared_ptr<ViewController> parent) {
    auto self = shared_from_this();
    publicLogDao_->getLogFileData([self, parent](std::optional<std::vector<std::uint8_t>> data) {
        // The phone-state service belongs to the SDK thread, where this block runs.
        std::string information = self->phoneStateService_->getAppInformation();
        self->timerDao_->invokeBlockOnMainThread(
            [self, parent, data = std::move(data), information]() mutable {
                self->mailDebugLogShow(parent, std::move(data), information);
            },
            false);
    });
}

void ZarnPDebugLogMailer::mailDebugLogShow(std::shared_ptr<ViewController> parent,
                                           std::optional<std::vector<std::uint8_t>> data,
                                           const std::string& appInformation) {
    auto helper = helperFactory_(std::move(parent));
    if (!helper)
        return;
    helper->setData(std::move(data));
    helper->sendLogViaMail(appInformation);
}

}  // namespace zarn
