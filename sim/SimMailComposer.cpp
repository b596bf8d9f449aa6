#include "sim/SimMailComposer.h"

namespace zarn::sim {

void SimMailComposer::setFinishHandler(
    std::function<void(platform::MailComposeResult, std::optional<Error>)> handler) {
    std::lock_guard lk(mutex_);
    handler_ = std::move(handler);
}

void SimMailComposer::setSubject(const std::string& subject) {
    std::lock_guard lk(mutex_);
    subject_ = subject;
}

void SimMailComposer::setMessageBody(const std::string& body, bool isHTML) {
    std::lock_guard lk(mutex_);
    body_ = body;
    isHTML_ = isHTML;
}

void SimMailComposer::addAttachmentData(const std::vector<std::uint8_t>& data, const std::string& mimeType,
                                        const std::string& fileName) {
    std::lock_guard lk(mutex_);
    attachments_.push_back({data, mimeType, fileName});
}

void SimMailComposer::finish(platform::MailComposeResult result) {
    std::function<void(platform::MailComposeResult, std::optional<Error>)> handler;
    {
        std::lock_guard lk(mutex_);
        handler = std::move(handler_);
        handler_ = nullptr;
    }
    if (handler)
        handler(result, std::nullopt);
}

std::string SimMailComposer::subject() {
    std::lock_guard lk(mutex_);
    return subject_;
}

std::string SimMailComposer::body() {
    std::lock_guard lk(mutex_);
    return body_;
}

bool SimMailComposer::bodyIsHTML() {
    std::lock_guard lk(mutex_);
    return isHTML_;
}

std::vector<SimMailComposer::Attachment> SimMailComposer::attachments() {
    std::lock_guard lk(mutex_);
    return attachments_;
}

bool SimMailComposing::canSendMail() {
    std::lock_guard lk(mutex_);
    return canSendMail_;
}

std::shared_ptr<platform::MailComposer> SimMailComposing::createComposer() {
    auto c = std::make_shared<SimMailComposer>();
    std::lock_guard lk(mutex_);
    composers_.push_back(c);
    return c;
}

void SimMailComposing::setCanSendMail(bool can) {
    std::lock_guard lk(mutex_);
    canSendMail_ = can;
}

std::vector<std::weak_ptr<SimMailComposer>> SimMailComposing::composers() {
    std::lock_guard lk(mutex_);
    return composers_;
}

}  // namespace zarn::sim
