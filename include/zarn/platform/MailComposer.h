#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zarn/Error.h"
#include "zarn/ViewController.h"

namespace zarn::platform {

enum class MailComposeResult : int { Cancelled = 0, Saved = 1, Sent = 2, Failed = 3 };

// The system's mail composer screen, presented by the host's view controller. Main thread only.
class MailComposer : public ViewController {
  public:
    // Called once on the main thread when the user sends, saves or cancels (the error only on
    // failure). The composer stays on screen until its presenter dismisses it.
    virtual void setFinishHandler(std::function<void(MailComposeResult, std::optional<Error>)> handler) = 0;
    virtual void setSubject(const std::string& subject) = 0;
    virtual void setMessageBody(const std::string& body, bool isHTML) = 0;
    virtual void addAttachmentData(const std::vector<std::uint8_t>& data, const std::string& mimeType,
                                   const std::string& fileName) = 0;
};

// The mail facility; an app without it installs none (the library then says so in an alert).
// Main thread only.
class MailComposing {
  public:
    virtual ~MailComposing() = default;
    MailComposing() = default;
    MailComposing(const MailComposing&) = delete;
    MailComposing& operator=(const MailComposing&) = delete;

    // NO when no mail account is set up on the device.
    virtual bool canSendMail() = 0;
    virtual std::shared_ptr<MailComposer> createComposer() = 0;
};

}  // namespace zarn::platform
