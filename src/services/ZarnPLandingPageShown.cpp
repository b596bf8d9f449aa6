#include "services/ZarnPLandingPageShown.h"

#include "services/ZarnPLandingPageViewController.h"

namespace zarn {

void ZarnPLandingPageShown::closeButtonPressed() {
    auto self = shared_from_this();  // the controller held the last reference
    if (window_) {
        window_->setHidden(true);
        window_->setRootViewController(nullptr, nullptr);
    }
    window_ = nullptr;
    auto controller = std::move(viewController_);
    viewController_ = nullptr;
    if (controller)
        controller->setCloseCallback(nullptr);
}

}  // namespace zarn
