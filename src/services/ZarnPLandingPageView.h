#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "zarn/platform/UrlOpener.h"
#include "zarn/platform/WebView.h"
#include "zarn/platform/Windows.h"

namespace zarn {

class ZarnPLandingPageCloseCallback;

// The landing page's screen: a full-screen web view that shows a local loading page, then the
// landing address, with a spinner while pages load, a round close button in the top right corner
// and a local error page when nothing could be loaded. It keeps its close callback (the view
// controller) alive until the close button breaks the cycle. Main thread only.
class ZarnPLandingPageView final : public platform::WebViewNavigationDelegate,
                                   public std::enable_shared_from_this<ZarnPLandingPageView> {
  public:
    // The loading page, loaded first.
    static constexpr const char* kLoadingPage =
        "<!doctype html><html><head><meta name=\"viewport\" content=\"width=device-width, "
        "initial-scale=1\"> <style>\nhtml, body { margin: 0; padding: 0; height: 100%; width: 100%; color: "
        "black; font-family: HelveticaNeue-UltraLight, HelveticaNeue, Helvetica; font-weight: 200; }\nh1 "
        "{position: absolute; top: 50%; width: 100%; padding: 0; margin: 0; text-align: "
        "center;}\n</style></head><body><h1>Loading\u2026</h1></body></html>";

    // Builds the views over the window system and starts the loading page. Both are required.
    static std::shared_ptr<ZarnPLandingPageView> create(std::shared_ptr<platform::WindowSystem> windowSystem,
                                                        std::shared_ptr<platform::UrlOpener> urlOpener,
                                                        std::string url);
    ~ZarnPLandingPageView() override = default;

    // The error page for the landing address.
    static std::string errorPage(const std::string& url);

    // platform::WebViewNavigationDelegate
    void decidePolicyForNavigationAction(
        const platform::NavigationAction& action,
        std::function<void(platform::NavigationPolicy)> decisionHandler) override;
    void didStartProvisionalNavigation() override;
    void didFinishNavigation() override;
    void didFailProvisionalNavigation(const Error& error) override;
    void didFailNavigation(const Error& error) override;

    // The close button's action.
    void closeView();
    // Places the close button (every layout pass).
    void layoutSubviews();

    const std::shared_ptr<platform::View>& view() const { return view_; }
    std::shared_ptr<ZarnPLandingPageCloseCallback> closeCallback() const { return closeCallback_; }
    void setCloseCallback(std::shared_ptr<ZarnPLandingPageCloseCallback> callback) {
        closeCallback_ = std::move(callback);
    }
    int32_t pagesBeingLoaded() const { return pagesBeingLoaded_; }
    int32_t pagesLoaded() const { return pagesLoaded_; }
    bool loadedFirstPage() const { return loadedFirstPage_; }
    const std::string& url() const { return url_; }

  private:
    ZarnPLandingPageView(std::shared_ptr<platform::WindowSystem> windowSystem,
                         std::shared_ptr<platform::UrlOpener> urlOpener, std::string url);
    void build();
    void failed(const Error& error);
    void updateSpinner();

    std::shared_ptr<platform::WindowSystem> windowSystem_;
    std::shared_ptr<platform::UrlOpener> urlOpener_;
    std::shared_ptr<platform::View> view_;
    std::shared_ptr<platform::Button> closeButton_;
    std::shared_ptr<platform::WebView> webview_;
    std::shared_ptr<ZarnPLandingPageCloseCallback> closeCallback_;
    int32_t pagesBeingLoaded_ = 0;
    bool loadedFirstPage_ = false;
    std::string url_;
    int32_t pagesLoaded_ = 0;
    std::shared_ptr<platform::ActivityIndicator> spinner_;
};

}  // namespace zarn
