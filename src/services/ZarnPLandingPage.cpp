#include "services/ZarnPLandingPage.h"

#include <cctype>

#include "core/ZarnPLogger.h"
#include "core/ZarnPStringReading.h"
#include "services/ZarnPLandingPageShown.h"
#include "services/ZarnPLandingPageView.h"
#include "services/ZarnPLandingPageViewController.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "LandingPage";
constexpr int kFirstSceneSystem = 13;
// Letters and digits are allowed too.
constexpr std::string_view kAllowedPunctuation = "!#$&'()*+,-./:;=?@[]_~";

bool isAllowed(unsigned char c) {
    if (c >= 0x80)
        return false;
    return std::isalnum(c) ||
           (c != 0 && kAllowedPunctuation.find(static_cast<char>(c)) != std::string_view::npos);
}
}  // namespace

ZarnPLandingPage::ZarnPLandingPage(std::shared_ptr<platform::WindowSystem> windowSystem,
                                   std::shared_ptr<platform::UrlOpener> urlOpener,
                                   std::shared_ptr<platform::DeviceInfo> deviceInfo)
    : windowSystem_(std::move(windowSystem)),
      urlOpener_(std::move(urlOpener)),
      deviceInfo_(std::move(deviceInfo)) {}

std::string ZarnPLandingPage::encodeAddress(const std::string& address) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(address.size());
    for (unsigned char c : address) {
        if (isAllowed(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out;
}

bool ZarnPLandingPage::isValidAddress(const std::string& encoded) {
    if (encoded.empty())
        return false;
    auto hash = encoded.find('#');
    if (hash != std::string::npos && encoded.find('#', hash + 1) != std::string::npos)
        return false;
    // A scheme is the text before the first ":" that comes before any "/", "?" or "#".
    auto colon = encoded.find(':');
    auto delimiter = encoded.find_first_of("/?#");
    size_t rest = 0;
    if (colon != std::string::npos && (delimiter == std::string::npos || colon < delimiter)) {
        if (colon == 0 || !std::isalpha(static_cast<unsigned char>(encoded[0])))
            return false;
        for (size_t i = 1; i < colon; ++i) {
            char c = encoded[i];
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
                return false;
        }
        rest = colon + 1;
    }
    // Brackets only enclose the host of an authority: "//[...]" up to the next "/", "?" or "#".
    size_t hostStart = std::string::npos, hostEnd = std::string::npos;
    if (encoded.compare(rest, 2, "//") == 0) {
        hostStart = rest + 2;
        hostEnd = encoded.find_first_of("/?#", hostStart);
        if (hostEnd == std::string::npos)
            hostEnd = encoded.size();
    }
    for (size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '[' && encoded[i] != ']')
            continue;
        if (hostStart == std::string::npos || i < hostStart || i >= hostEnd)
            return false;
    }
    if (hostStart != std::string::npos) {
        auto open = encoded.find('[', hostStart);
        if (open < hostEnd) {
            auto close = encoded.find(']', open);
            if (close >= hostEnd || encoded.find('[', open + 1) < hostEnd ||
                encoded.find(']', close + 1) < hostEnd)
                return false;
        } else if (encoded.find(']', hostStart) < hostEnd) {
            return false;
        }
    }
    return true;
}

bool ZarnPLandingPage::usesScenes() {
    return deviceInfo_ && ZarnPStringReading::intValue(deviceInfo_->systemVersion()) >= kFirstSceneSystem;
}

void ZarnPLandingPage::showLandingPage(const std::string& address) {
    ZARN_CHECK_SEQUENCE(sequence_);
    std::string url = encodeAddress(address);
    if (!isValidAddress(url)) {
        LogError(kDomain, "Invalid URL: %@", address);
        return;
    }
    if (!windowSystem_ || !urlOpener_) {
        LogError(kDomain, "No window system to show the landing page");
        return;
    }
    std::shared_ptr<platform::Scene> scene;
    bool scenes = usesScenes();
    if (scenes) {
        for (auto& s : windowSystem_->connectedScenes()) {
            if (s && s->activationState() == platform::SceneActivationState::ForegroundActive) {
                scene = s;
                break;
            }
        }
        // A window without a scene never shows and the page would keep itself alive unseen.
        if (!scene)
            return;
    }
    auto controller = ZarnPLandingPageViewController::create(windowSystem_, urlOpener_, url);
    auto shown = std::make_shared<ZarnPLandingPageShown>();
    controller->setCloseCallback(shown);
    auto window = scenes ? windowSystem_->createWindow(scene)
                         : windowSystem_->createWindow(windowSystem_->mainScreenBounds());
    window->setRootViewController(controller, controller->landingPageView()->view());
    window->makeKeyAndVisible();
    shown->setViewController(controller);
    shown->setWindow(window);
}

}  // namespace zarn
