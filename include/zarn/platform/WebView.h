#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "zarn/Error.h"
#include "zarn/platform/Windows.h"

namespace zarn::platform {

// How a navigation came about, as the system numbers it.
enum class NavigationType : int {
    LinkActivated = 0,
    FormSubmitted = 1,
    BackForward = 2,
    Reload = 3,
    FormResubmitted = 4,
    Other = -1,
};

enum class NavigationPolicy : int { Cancel = 0, Allow = 1 };

// A navigation about to happen: the whole address text of its request and its type.
struct NavigationAction {
    std::string url;
    NavigationType navigationType = NavigationType::Other;
};

// The error code of a navigation that was cancelled (another one started, or it was stopped).
inline constexpr int kNavigationCancelledErrorCode = -999;

// What a web view reports about its navigations. Every call arrives on the main thread. A
// navigation is first asked about (decidePolicy; no other call for it when cancelled), then
// starts, then finishes or fails; it may fail before it commits (provisional failure) or after.
class WebViewNavigationDelegate {
  public:
    virtual ~WebViewNavigationDelegate() = default;
    // The decision handler must be called exactly once, on the main thread, now or later.
    virtual void decidePolicyForNavigationAction(const NavigationAction& action,
                                                 std::function<void(NavigationPolicy)> decisionHandler) = 0;
    virtual void didStartProvisionalNavigation() = 0;
    virtual void didFinishNavigation() = 0;
    // The error carries the URL-loading code (-1003 host not found, -999 cancelled, ...).
    virtual void didFailProvisionalNavigation(const Error& error) = 0;
    virtual void didFailNavigation(const Error& error) = 0;
};

// A web view. Main thread only; loading never fails at the call, failures come through the
// delegate.
class WebView : public View {
  public:
    // Held weakly: a delegate that is gone hears nothing.
    virtual void setNavigationDelegate(std::weak_ptr<WebViewNavigationDelegate> delegate) = 0;
    // Loads local HTML; no base address when absent.
    virtual void loadHTMLString(const std::string& html, const std::optional<std::string>& baseUrl) = 0;
    virtual void loadRequest(const std::string& url) = 0;
    virtual void stopLoading() = 0;
};

}  // namespace zarn::platform
