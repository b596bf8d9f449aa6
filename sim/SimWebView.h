#pragma once
#include <optional>
#include <string>
#include <vector>

#include "sim/SimView.h"
#include "zarn/platform/WebView.h"

namespace zarn::sim {

// A web view that loads nothing by itself: it records what it was asked to load, and the test
// plays the navigations (start, finish, failure, a tapped link) to its delegate. Main thread only.
class SimWebView final : public SimViewBase<platform::WebView> {
  public:
    struct Load {
        bool html = false;    // loadHTMLString rather than loadRequest
        std::string content;  // the HTML text or the address
        std::optional<std::string> baseUrl;
    };

    explicit SimWebView(platform::Rect frame) : SimViewBase(frame) {}

    void setNavigationDelegate(std::weak_ptr<platform::WebViewNavigationDelegate> delegate) override {
        delegate_ = std::move(delegate);
    }
    void loadHTMLString(const std::string& html, const std::optional<std::string>& baseUrl) override;
    void loadRequest(const std::string& url) override;
    void stopLoading() override { ++stopCount_; }

    // The navigations, as the system would report them.
    void start();
    void finish();
    // A load that fails after it committed, or (provisional) before.
    void fail(long code, bool provisional = false);
    // start() then finish().
    void completeLoad();
    // The user taps a link: the delegate is asked and its answer returned (nothing when it has
    // not answered). An allowed navigation is then recorded as a request load.
    std::optional<platform::NavigationPolicy> tapLink(
        const std::string& url, platform::NavigationType type = platform::NavigationType::LinkActivated);

    const std::vector<Load>& loads() const { return loads_; }
    int stopCount() const { return stopCount_; }
    bool hasDelegate() const { return !delegate_.expired(); }

  private:
    std::weak_ptr<platform::WebViewNavigationDelegate> delegate_;
    std::vector<Load> loads_;
    int stopCount_ = 0;
};

}  // namespace zarn::sim
