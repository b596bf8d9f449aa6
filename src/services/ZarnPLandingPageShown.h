#pragma once
#include <memory>

#include "services/ZarnPLandingPageCloseCallback.h"
#include "zarn/platform/Windows.h"

namespace zarn {

class ZarnPLandingPageViewController;

// Holds a shown landing page's window and controller; the controller holds it back as its close
// callback. Closing hides the window and drops both, which releases the whole page. Main thread
// only.
class ZarnPLandingPageShown final : public ZarnPLandingPageCloseCallback,
                                    public std::enable_shared_from_this<ZarnPLandingPageShown> {
  public:
    void closeButtonPressed() override;

    const std::shared_ptr<ZarnPLandingPageViewController>& viewController() const { return viewController_; }
    void setViewController(std::shared_ptr<ZarnPLandingPageViewController> controller) {
        viewController_ = std::move(controller);
    }
    const std::shared_ptr<platform::Window>& window() const { return window_; }
    void setWindow(std::shared_ptr<platform::Window> window) { window_ = std::move(window); }

  private:
    std::shared_ptr<ZarnPLandingPageViewController> viewController_;
    std::shared_ptr<platform::Window> window_;
};

}  // namespace zarn
