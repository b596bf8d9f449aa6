#include "device/system/ZarnPMailHelper.h"

#include <algorithm>

#include "core/ZarnPLogger.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "MailHelper";

// Never destroyed: a composer may still be up when the process exits.
std::vector<std::shared_ptr<ZarnPMailHelper>>& openComposers() {
    static auto* composers = new std::vector<std::shared_ptr<ZarnPMailHelper>>();
    return *composers;
}
}  // namespace

ZarnPMailHelper::ZarnPMailHelper(std::shared_ptr<ViewController> parent,
                                 std::shared_ptr<platform::MailComposing> mail,
                                 std::shared_ptr<platform::WindowSystem> windowSystem,
                                 std::shared_ptr<platform::AlertPresenter> alertPresenter)
    : mailParentController_(std::move(parent)),
      mail_(std::move(mail)),
      windowSystem_(std::move(windowSystem)),
      alertPresenter_(std::move(alertPresenter)) {}

void ZarnPMailHelper::showError(const std::string& text) {
    if (!alertPresenter_) {
        LogWarn(kDomain, "Cannot send mail: %@", text);
        return;
    }
    alertPresenter_->showAlert("Cannot send mail", text, {"OK"});
}

void ZarnPMailHelper::sendLogViaMail(const std::string& body) {
    if (!mail_) {
        showError("MessageUI dependency not available.");
        return;
    }
    if (!mail_->canSendMail()) {
        showError("Email hasn't been configured.");
        return;
    }
    if (!data_ || data_->empty()) {
        showError("No log information is available.");
        return;
    }
    auto composer = mail_->createComposer();
    if (!composer || !windowSystem_ || !mailParentController_) {
        LogError(kDomain, "The mail composer cannot be shown");
        return;
    }
    std::weak_ptr<ZarnPMailHelper> weak = weak_from_this();
    composer->setFinishHandler([weak](platform::MailComposeResult result, std::optional<Error> error) {
        if (auto self = weak.lock())
            self->mailComposeControllerDidFinish(result, error);
    });
    composer->setSubject(kSubject);
    composer->setMessageBody(body, false);
    composer->addAttachmentData(*data_, kAttachmentType, kAttachmentName);
    windowSystem_->presentViewController(mailParentController_, composer, true);
    openComposers().push_back(shared_from_this());
}

void ZarnPMailHelper::mailComposeControllerDidFinish(platform::MailComposeResult,
                                                     const std::optional<Error>&) {
    auto self = shared_from_this();  // the list may hold the last reference
    if (windowSystem_ && mailParentController_)
        windowSystem_->dismissViewController(mailParentController_, true);
    auto& list = openComposers();
    list.erase(std::remove(list.begin(), list.end(), self), list.end());
}

size_t ZarnPMailHelper::openComposerCount() {
    return openComposers().size();
}

}  // namespace zarn
