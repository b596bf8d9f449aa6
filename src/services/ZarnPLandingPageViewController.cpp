#include "services/ZarnPLandingPageViewController.h"

#include "services/ZarnPLandingPageView.h"

namespace zarn {

std::shared_ptr<ZarnPLandingPageViewController> ZarnPLandingPageViewController::create(
    std::shared_ptr<platform::WindowSystem> windowSystem, std::shared_ptr<platform::UrlOpener> urlOpener,
    std::string url) {
    std::shared_ptr<ZarnPLandingPageViewController> controller(new ZarnPLandingPageViewController());
    controller->landingPageView_ =
        ZarnPLandingPageView::create(std::move(windowSystem), std::move(urlOpener), std::move(url));
    controller->landingPageView_->setCloseCallback(controller);
    return controller;
}

void ZarnPLandingPageViewController::closeButtonPressed() {
    auto self = shared_from_this();  // the view held the last reference
    landingPageView_->setCloseCallback(nullptr);
    auto callback = std::move(closeCallback_);
    closeCallback_ = nullptr;
    if (callback)
        callback->closeButtonPressed();
}

}  // namespace zarn
