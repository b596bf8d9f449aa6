#include "core/ZarnPPlaceholderModule.h"

#include "core/ZarnPLogger.h"
#include "core/ZarnPZarnConfiguration.h"

namespace zarn {

namespace {

class PlaceholderFacade final : public ZarnPPublicFacade {
public:
    void reinit(std::shared_ptr<ZarnPZarnConfiguration>) override { note("reinit"); }
    void enable() override { note("enable"); }
    void disable() override { note("disable"); }
    bool isEnabled() override { return false; }
    void setCooldownPeriod(int) override { note("setCooldownPeriod"); }
    void setZarnDelegate(std::shared_ptr<ZarnDelegate>) override { note("setZarnDelegate"); }
    void mailDebugLog(std::shared_ptr<ViewController>) override { note("mailDebugLog"); }
    void setValue(std::optional<std::string>, const std::string&) override { note("setValue"); }
    void setAdvertisingIdentifier(std::optional<std::string>, bool) override { note("setAdvertisingIdentifier"); }
    std::vector<NotificationRequest> loadedNotifications() override { return {}; }
    std::vector<std::shared_ptr<ZarnGeotrigger>> loadedGeotriggers() override { return {}; }
    std::vector<std::shared_ptr<ZarnSentNotification>> sentNotifications() override { return {}; }
    std::vector<std::shared_ptr<ZarnSentGeotrigger>> sentGeotriggers() override { return {}; }
    void clearSentNotifications() override { note("clearSentNotifications"); }
    void clearSentGeotriggers() override { note("clearSentGeotriggers"); }
    void sendAttributionEvent(const std::string&, const std::string&) override { note("sendAttributionEvent"); }
    void requestContextualPage(std::function<void(std::optional<Value>)>) override { note("requestContextualPage"); }
    void externalRegionTrigger(const Value&, int, const Value&) override { note("externalRegionTrigger"); }
    void didRegisterForRemoteNotificationsWithDeviceToken(const std::string&) override { note("didRegister"); }
    void didFailToRegisterForRemoteNotificationsWithError(const Error&) override { note("didFailToRegister"); }
    void didReceiveRemoteNotification(const Value&, std::function<void(BackgroundFetchResult)>) override {
        note("didReceiveRemoteNotification");
    }
    void clearAllDataAndResetDeviceId() override { note("clearAllDataAndResetDeviceId"); }

private:
    static void note(const char* operation) {
        LogDebug("PlaceholderFacade", "%@ ignored: the facade is not built yet", operation);
    }
};

}  // namespace

ZarnPPlaceholderModule::ZarnPPlaceholderModule(std::shared_ptr<ZarnPZarnConfiguration>)
    : facade_(std::make_shared<PlaceholderFacade>()) {
    LogDebug("Module", "Zarn started > %@ (placeholder module)", "3.0.0-beta-DEBUG");
}

}  // namespace zarn
