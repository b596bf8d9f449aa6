#include "sim/SimWebView.h"

namespace zarn::sim {

void SimWebView::loadHTMLString(const std::string& html, const std::optional<std::string>& baseUrl) {
    loads_.push_back({true, html, baseUrl});
}

void SimWebView::loadRequest(const std::string& url) {
    loads_.push_back({false, url, std::nullopt});
}

void SimWebView::start() {
    if (auto d = delegate_.lock())
        d->didStartProvisionalNavigation();
}

void SimWebView::finish() {
    if (auto d = delegate_.lock())
        d->didFinishNavigation();
}

void SimWebView::fail(long code, bool provisional) {
    auto d = delegate_.lock();
    if (!d)
        return;
    Error error{"NSURLErrorDomain", code, "The navigation failed."};
    if (provisional)
        d->didFailProvisionalNavigation(error);
    else
        d->didFailNavigation(error);
}

void SimWebView::completeLoad() {
    start();
    finish();
}

std::optional<platform::NavigationPolicy> SimWebView::tapLink(const std::string& url,
                                                              platform::NavigationType type) {
    auto d = delegate_.lock();
    if (!d)
        return std::nullopt;
    std::optional<platform::NavigationPolicy> answer;
    d->decidePolicyForNavigationAction({url, type}, [&answer](platform::NavigationPolicy p) { answer = p; });
    if (answer == platform::NavigationPolicy::Allow)
        loads_.push_back({false, url, std::nullopt});
    return answer;
}

}  // namespace zarn::sim
