#include "services/ZarnPLandingPageView.h"

#include "core/Format.h"
#include "core/ZarnException.h"
#include "core/ZarnPLogger.h"
#include "services/ZarnPLandingPageCloseCallback.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "LandingPageView";
constexpr std::string_view kReloadPrefix = "reload:";
// The head is an argument of the page's format, so its "%%" stays two characters.
constexpr const char* kErrorHead =
    "<!doctype html><html><head><meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"> "
    "<style>\nhtml, body { margin: 0; padding: 0; height: 100%; width: 100%; color: black; font-family: "
    "HelveticaNeue-UltraLight, HelveticaNeue, Helvetica; font-weight: 200; }\nh3 {position: absolute; top: "
    "40%; width: 100%; padding: 0; margin: 0; text-align: center;}\n.button { border: none; position: "
    "absolute; top: 55%; left:50%%; height: 30px; width: 120px; margin: 0px -60px; "
    "background-color:#c63d43; color:#ffffff; }\n#browser {position: absolute; top: 65%; width: 100%; "
    "padding: 0; margin: 0; text-align: center;}\n</style></head><body><h3>Error loading webpage, check "
    "your internet connection.</h3>";
constexpr const char* kReloadLink = "<a href=\"reload:%@\"><button class=\"button\">Reload</button></a>";
constexpr const char* kBrowserLink = "<a id=\"browser\" href=\"%@\">Click here to view in browser.</a>";
constexpr const char* kErrorTail = "</body></html>";
constexpr double kButtonSize = 52.0;
constexpr double kButtonMargin = 10.0;
constexpr int kGraySpinner = 2;
}  // namespace

std::shared_ptr<ZarnPLandingPageView> ZarnPLandingPageView::create(
    std::shared_ptr<platform::WindowSystem> windowSystem, std::shared_ptr<platform::UrlOpener> urlOpener,
    std::string url) {
    std::shared_ptr<ZarnPLandingPageView> view(
        new ZarnPLandingPageView(std::move(windowSystem), std::move(urlOpener), std::move(url)));
    view->build();
    return view;
}

ZarnPLandingPageView::ZarnPLandingPageView(std::shared_ptr<platform::WindowSystem> windowSystem,
                                           std::shared_ptr<platform::UrlOpener> urlOpener, std::string url)
    : windowSystem_(std::move(windowSystem)), urlOpener_(std::move(urlOpener)), url_(std::move(url)) {
    ZARN_REQUIRE(windowSystem_);
    ZARN_REQUIRE(urlOpener_);
}

void ZarnPLandingPageView::build() {
    auto bounds = windowSystem_->mainScreenBounds();
    constexpr unsigned kFlexible =
        platform::kAutoresizingFlexibleWidth | platform::kAutoresizingFlexibleHeight;
    view_ = windowSystem_->createView(bounds);
    view_->setAutoresizingMask(kFlexible);
    view_->setAutoresizesSubviews(true);

    webview_ = windowSystem_->createWebView(bounds);
    webview_->setAutoresizingMask(kFlexible);
    webview_->setNavigationDelegate(weak_from_this());
    pagesLoaded_ = 0;
    webview_->loadHTMLString(kLoadingPage, std::nullopt);

    platform::ButtonStyle style;
    style.title = "\u00d7";
    style.fontName = "Helvetica";
    style.fontSize = 40.0;
    style.cornerRadius = kButtonSize / 2;
    style.clipsToBounds = true;
    style.centeredTitle = true;
    style.numberOfLines = 0;
    style.blackBackground = true;
    style.contentAlignedToTop = true;
    closeButton_ = windowSystem_->createButton(platform::Rect{}, style);
    std::weak_ptr<ZarnPLandingPageView> weak = weak_from_this();
    closeButton_->setTouchUpInsideHandler([weak] {
        if (auto self = weak.lock())
            self->closeView();
    });

    spinner_ = windowSystem_->createActivityIndicator(platform::Rect{1, 1, 50, 50}, kGraySpinner);
    spinner_->setHidden(true);
    spinner_->startAnimating();

    view_->addSubview(webview_);
    view_->addSubview(closeButton_);
    view_->addSubview(spinner_);
    view_->setLayoutHandler([weak] {
        if (auto self = weak.lock())
            self->layoutSubviews();
    });
}

std::string ZarnPLandingPageView::errorPage(const std::string& url) {
    return format("%@%@%@%@", kErrorHead, format(kReloadLink, url), format(kBrowserLink, url), kErrorTail);
}

void ZarnPLandingPageView::layoutSubviews() {
    double width = windowSystem_->mainScreenBounds().width;
    closeButton_->setFrame({width - kButtonSize - kButtonMargin, kButtonMargin, kButtonSize, kButtonSize});
}

void ZarnPLandingPageView::decidePolicyForNavigationAction(
    const platform::NavigationAction& action,
    std::function<void(platform::NavigationPolicy)> decisionHandler) {
    const std::string& address = action.url;
    // The web view cannot show a "reload:" address: the reload it starts wins.
    bool reload = address.compare(0, kReloadPrefix.size(), kReloadPrefix) == 0;
    if (reload) {
        LogInfo(kDomain, "Reloading landing page");
        webview_->loadRequest(address.substr(kReloadPrefix.size()));
    }
    if (action.navigationType == platform::NavigationType::LinkActivated) {
        urlOpener_->openUrl(address, [](bool success) {
            if (!success)
                LogError(kDomain, "Unable to open url.");
        });
    }
    if (decisionHandler)
        decisionHandler(reload ? platform::NavigationPolicy::Cancel : platform::NavigationPolicy::Allow);
}

void ZarnPLandingPageView::didStartProvisionalNavigation() {
    ++pagesBeingLoaded_;
    updateSpinner();
}

void ZarnPLandingPageView::didFinishNavigation() {
    --pagesBeingLoaded_;
    if (!loadedFirstPage_) {
        // The loading page is up: now the landing address.
        webview_->loadRequest(url_);
        loadedFirstPage_ = true;
    } else {
        ++pagesLoaded_;
    }
    updateSpinner();
}

// An address that cannot be reached fails before it commits: the same rule applies.
void ZarnPLandingPageView::didFailProvisionalNavigation(const Error& error) {
    failed(error);
}

void ZarnPLandingPageView::didFailNavigation(const Error& error) {
    failed(error);
}

void ZarnPLandingPageView::failed(const Error& error) {
    --pagesBeingLoaded_;
    if (pagesBeingLoaded_ < 1 && pagesLoaded_ == 0 && error.code != platform::kNavigationCancelledErrorCode) {
        webview_->loadHTMLString(errorPage(url_), std::nullopt);
        LogError(kDomain, "Failed to load landing page: %@", error.description());
    }
    updateSpinner();
}

void ZarnPLandingPageView::updateSpinner() {
    spinner_->setHidden(pagesBeingLoaded_ < 1);
}

void ZarnPLandingPageView::closeView() {
    LogDebug(kDomain, "closeView");
    webview_->stopLoading();
    webview_->removeFromSuperview();
    // The callback may be the last owner of this view's controller: keep it through the call.
    auto callback = closeCallback_;
    if (callback)
        callback->closeButtonPressed();
}

}  // namespace zarn
