#pragma once
#include <functional>
#include <string>

namespace zarn::platform {

// Hands an address to the system, which opens it in the browser or the app that handles it.
// Called on the main thread; the completion arrives on the main thread with NO when nothing
// could open the address.
class UrlOpener {
  public:
    virtual ~UrlOpener() = default;
    UrlOpener() = default;
    UrlOpener(const UrlOpener&) = delete;
    UrlOpener& operator=(const UrlOpener&) = delete;

    virtual void openUrl(const std::string& url, std::function<void(bool success)> completion) = 0;
};

}  // namespace zarn::platform
