#include "services/ZarnPLandingPage.h"

#include <cctype>
#include <optional>

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

bool hasTwoFragments(const std::string& encoded) {
    auto hash = encoded.find('#');
    return hash != std::string::npos && encoded.find('#', hash + 1) != std::string::npos;
}

// Where the address goes on after its scheme (0 without one); nothing when the scheme is not
// well formed. A scheme is the text before the first ":" that comes before any "/", "?" or "#".
std::optional<size_t> afterScheme(const std::string& encoded) {
    auto colon = encoded.find(':');
    auto delimiter = encoded.find_first_of("/?#");
    if (colon == std::string::npos || (delimiter != std::string::npos && colon > delimiter))
        return 0;
    if (colon == 0 || !std::isalpha(static_cast<unsigned char>(encoded[0])))
        return std::nullopt;
    for (size_t i = 1; i < colon; ++i) {
        char c = encoded[i];
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return std::nullopt;
    }
    return colon + 1;
}

// The host of an authority ("//" at `rest`): from after the "//" up to the next "/", "?" or "#".
struct HostSpan {
    size_t start;
    size_t end;
};

std::optional<HostSpan> authorityHost(const std::string& encoded, size_t rest) {
    if (encoded.compare(rest, 2, "//") != 0)
        return std::nullopt;
    size_t start = rest + 2;
    size_t end = encoded.find_first_of("/?#", start);
    return HostSpan{start, end == std::string::npos ? encoded.size() : end};
}

// Brackets only enclose the host of an authority.
bool bracketsOnlyInHost(const std::string& encoded, const std::optional<HostSpan>& host) {
    for (size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '[' && encoded[i] != ']')
            continue;
        if (!host || i < host->start || i >= host->end)
            return false;
    }
    return true;
}

// The first "[" of the host is its only one and is closed by a "]" in the host, with no "]" after
// that one; a host without "[" holds no "]".
bool bracketsWellFormed(const std::string& encoded, const HostSpan& host) {
    auto open = encoded.find('[', host.start);
    if (open >= host.end)
        return encoded.find(']', host.start) >= host.end;
    auto close = encoded.find(']', open);
    return close < host.end && encoded.find('[', open + 1) >= host.end &&
           encoded.find(']', close + 1) >= host.end;
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
    if (encoded.empty() || hasTwoFragments(encoded))
        return false;
    auto rest = afterScheme(encoded);
    if (!rest)
        return false;
    auto host = authorityHost(encoded, *rest);
    return bracketsOnlyInHost(encoded, host) && (!host || bracketsWellFormed(encoded, *host));
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
