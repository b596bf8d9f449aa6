#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zarn/ViewController.h"
#include "zarn/platform/MailComposer.h"
#include "zarn/platform/SystemInfo.h"
#include "zarn/platform/Windows.h"

namespace zarn {

// Shows the system's mail composer with the gzip-compressed debug log attached, presented by the
// app's view controller, or an alert saying why it cannot. A helper whose composer is on screen
// is kept alive by a process-wide list until the composer is dismissed. Main thread only.
class ZarnPMailHelper final : public std::enable_shared_from_this<ZarnPMailHelper> {
  public:
    static constexpr const char* kAttachmentName = "zarn.txt.gz";
    static constexpr const char* kAttachmentType = "application/x-gzip";
    static constexpr const char* kSubject = "ZarnKit log";

    // initWithParent:, with the platform's mail facility (absent when the app has none), the
    // window system that presents and dismisses, and the alert presenter. Without a window
    // system or an alert presenter the messages only go to the log.
    ZarnPMailHelper(std::shared_ptr<ViewController> parent, std::shared_ptr<platform::MailComposing> mail,
                    std::shared_ptr<platform::WindowSystem> windowSystem,
                    std::shared_ptr<platform::AlertPresenter> alertPresenter);

    const std::optional<std::vector<std::uint8_t>>& data() const { return data_; }
    void setData(std::optional<std::vector<std::uint8_t>> data) { data_ = std::move(data); }

    void sendLogViaMail(const std::string& body);
    void showError(const std::string& text);
    // The composer's answer: dismissed, and this helper let go.
    void mailComposeControllerDidFinish(platform::MailComposeResult result,
                                        const std::optional<Error>& error);

    // How many helpers have a composer on screen.
    static size_t openComposerCount();

  private:
    std::shared_ptr<ViewController> mailParentController_;
    std::optional<std::vector<std::uint8_t>> data_;
    std::shared_ptr<platform::MailComposing> mail_;
    std::shared_ptr<platform::WindowSystem> windowSystem_;
    std::shared_ptr<platform::AlertPresenter> alertPresenter_;
};

}  // namespace zarn
