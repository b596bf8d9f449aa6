#pragma once
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "zarn/platform/MailComposer.h"

namespace zarn::sim {

// A mail composer that records what it was given; the test plays the user's answer.
class SimMailComposer final : public platform::MailComposer {
  public:
    struct Attachment {
        std::vector<std::uint8_t> data;
        std::string mimeType;
        std::string fileName;
    };

    void setFinishHandler(
        std::function<void(platform::MailComposeResult, std::optional<Error>)> handler) override;
    void setSubject(const std::string& subject) override;
    void setMessageBody(const std::string& body, bool isHTML) override;
    void addAttachmentData(const std::vector<std::uint8_t>& data, const std::string& mimeType,
                           const std::string& fileName) override;

    // The user sends, saves or cancels: the finish handler is called (once).
    void finish(platform::MailComposeResult result);

    std::string subject();
    std::string body();
    bool bodyIsHTML();
    std::vector<Attachment> attachments();

  private:
    std::mutex mutex_;
    std::function<void(platform::MailComposeResult, std::optional<Error>)> handler_;
    std::string subject_;
    std::string body_;
    bool isHTML_ = false;
    std::vector<Attachment> attachments_;
};

// The mail facility: whether mail is set up, and every composer made (held weakly). Safe from
// any thread.
class SimMailComposing final : public platform::MailComposing {
  public:
    bool canSendMail() override;
    std::shared_ptr<platform::MailComposer> createComposer() override;

    void setCanSendMail(bool can);
    std::vector<std::weak_ptr<SimMailComposer>> composers();

  private:
    std::mutex mutex_;
    bool canSendMail_ = true;
    std::vector<std::weak_ptr<SimMailComposer>> composers_;
};

}  // namespace zarn::sim
