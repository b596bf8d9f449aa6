#pragma once
#include <memory>
#include <string>

#include "services/ZarnPLandingPageCloseCallback.h"
#include "zarn/ViewController.h"
#include "zarn/platform/UrlOpener.h"
#include "zarn/platform/Windows.h"

namespace zarn {

class ZarnPLandingPageView;

// The landing page's controller: makes its view and, when the view's close button is pressed,
// passes it on to its own close callback (the holder). It and its view keep each other alive
// until then. The status bar is hidden and light. Main thread only.
class ZarnPLandingPageViewController final
    : public ViewController,
      public ZarnPLandingPageCloseCallback,
      public std::enable_shared_from_this<ZarnPLandingPageViewController> {
  public:
    // initWithNibName:bundle:url: (no nib, no bundle).
    static std::shared_ptr<ZarnPLandingPageViewController> create(
        std::shared_ptr<platform::WindowSystem> windowSystem, std::shared_ptr<platform::UrlOpener> urlOpener,
        std::string url);

    void closeButtonPressed() override;

    bool prefersStatusBarHidden() const { return true; }
    int preferredStatusBarStyle() const { return 1; }

    const std::shared_ptr<ZarnPLandingPageView>& landingPageView() const { return landingPageView_; }
    std::shared_ptr<ZarnPLandingPageCloseCallback> closeCallback() const { return closeCallback_; }
    void setCloseCallback(std::shared_ptr<ZarnPLandingPageCloseCallback> callback) {
        closeCallback_ = std::move(callback);
    }

  private:
    ZarnPLandingPageViewController() = default;

    std::shared_ptr<ZarnPLandingPageView> landingPageView_;
    std::shared_ptr<ZarnPLandingPageCloseCallback> closeCallback_;
};

}  // namespace zarn
