#pragma once
#include <memory>
#include <optional>
#include <string>

#include "core/ZarnPSequenceChecker.h"
#include "services/ZarnPLandingPageShowing.h"
#include "zarn/platform/SystemInfo.h"
#include "zarn/platform/UrlOpener.h"
#include "zarn/platform/Windows.h"

namespace zarn {

// Opens a landing page: a window of its own above the app with the page's controller as root.
// The page keeps itself alive until its close button; a second page opens above the first. On
// systems of version 13 and later the window goes to the first foreground-active scene; with
// none the page is not made at all. Main thread only.
class ZarnPLandingPage final : public ZarnPLandingPageShowing {
  public:
    // Without a window system or URL opener (a host without a screen) nothing is ever shown;
    // without the device facts the screen road is taken.
    ZarnPLandingPage(std::shared_ptr<platform::WindowSystem> windowSystem,
                     std::shared_ptr<platform::UrlOpener> urlOpener,
                     std::shared_ptr<platform::DeviceInfo> deviceInfo);

    void showLandingPage(const std::string& address) override;

    // The address percent-encoded with the characters allowed in a host, path, query or fragment,
    // and "?=#"; a "%" is encoded too.
    static std::string encodeAddress(const std::string& address);
    // Whether the encoded text makes an address: not empty, a well-formed scheme when there is
    // one, one fragment at most, brackets only around the host.
    static bool isValidAddress(const std::string& encoded);

  private:
    bool usesScenes();

    std::shared_ptr<platform::WindowSystem> windowSystem_;
    std::shared_ptr<platform::UrlOpener> urlOpener_;
    std::shared_ptr<platform::DeviceInfo> deviceInfo_;
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
