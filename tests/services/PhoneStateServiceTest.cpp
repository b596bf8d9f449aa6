// The phone-state rules: each state reported only when it changed since the stored one, with
// what was stored before, and the metadata compared value by value.
#include "services/ZarnPPhoneStateService.h"

#include <gtest/gtest.h>

#include "core/ZarnPLogEventType.h"
#include "device/system/ZarnPDelegateDataDao.h"
#include "store/settings/ZarnPBaseKeyValueDao.h"
#include "tests/services/ServiceTestSupport.h"
#include "tests/store/settings/MemoryStringKeyValueDao.h"
#include "zarn/ZarnDelegate.h"
#include "zarn/platform/NotificationCenter.h"

namespace zarn {
namespace {

std::shared_ptr<ZarnDelegate> filteringDelegate() {
    auto d = std::make_shared<ZarnDelegate>();
    d->zarnFilterNotifications = [](std::shared_ptr<ZarnFilterNotifications>) {};
    return d;
}

class PhoneStateServiceTest : public ::testing::Test {
  protected:
    std::shared_ptr<ZarnPPhoneStateService> build(std::shared_ptr<ZarnDelegate> delegate = nullptr) {
        return ZarnPPhoneStateService::create(
            keyValueDao, events, device, std::make_shared<ZarnPDelegateDataDao>(std::move(delegate)), center);
    }
    std::vector<Value> extras(unsigned type) {
        std::vector<Value> out;
        for (auto& e : events->ofType(type)) out.push_back(e.extra);
        return out;
    }

    std::shared_ptr<test::MemoryStringKeyValueDao> strings =
        std::make_shared<test::MemoryStringKeyValueDao>();
    std::shared_ptr<ZarnPBaseKeyValueDao> keyValueDao = std::make_shared<ZarnPBaseKeyValueDao>(strings);
    std::shared_ptr<test::RecordingEventLogging> events = std::make_shared<test::RecordingEventLogging>();
    std::shared_ptr<test::FakeDeviceDataDao> device = std::make_shared<test::FakeDeviceDataDao>();
    std::shared_ptr<platform::NotificationCenter> center = std::make_shared<platform::NotificationCenter>();
};

struct LocationStep {
    const char* version;
    bool on;
    bool background;
    bool accurate;
    std::optional<Value> event;  // nothing: no event
};

TEST_F(PhoneStateServiceTest, LocationServicesStateIsStoredOnlyWhenSomethingChanged) {
    const std::vector<std::vector<LocationStep>> sequences{
        {
            {"16.4", true, true, true,
             Value{{"current", "enabled"},
                   {"current_accuracy", "accurate"},
                   {"previous", "unknown"},
                   {"previous_accuracy", "unknown"}}},
            {"16.4", true, true, true, std::nullopt},
            {"16.4", true, false, true,
             Value{{"current", "disabledInBackground"},
                   {"current_accuracy", "accurate"},
                   {"previous", "enabled"},
                   {"previous_accuracy", "accurate"}}},
            {"16.4", true, false, false,
             Value{{"current", "disabledInBackground"},
                   {"current_accuracy", "approximate"},
                   {"previous", "disabledInBackground"},
                   {"previous_accuracy", "accurate"}}},
            {"16.4", false, false, false,
             Value{{"current", "disabled"},
                   {"previous", "disabledInBackground"},
                   {"previous_accuracy", "approximate"}}},
            // No accuracy now: only the state is compared.
            {"16.4", false, true, true, std::nullopt},
            {"16.4", true, true, false,
             Value{{"current", "enabled"},
                   {"current_accuracy", "approximate"},
                   {"previous", "disabled"},
                   {"previous_accuracy", "approximate"}}},
        },
        {
            {"13.7", true, true, true, Value{{"current", "enabled"}, {"previous", "unknown"}}},
            {"13.7", true, true, false, std::nullopt},
            {"13.7", true, false, true, Value{{"current", "disabledInBackground"}, {"previous", "enabled"}}},
            {"13.7", false, false, true,
             Value{{"current", "disabled"}, {"previous", "disabledInBackground"}}},
            {"13.7", false, true, true, std::nullopt},
        },
    };
    for (const auto& steps : sequences) {
        strings = std::make_shared<test::MemoryStringKeyValueDao>();
        keyValueDao = std::make_shared<ZarnPBaseKeyValueDao>(strings);
        events = std::make_shared<test::RecordingEventLogging>();
        auto service = build();
        for (size_t i = 0; i < steps.size(); ++i) {
            const auto& s = steps[i];
            SCOPED_TRACE(std::string(s.version) + " step " + std::to_string(i));
            device->version = s.version;
            device->locationOn = s.on;
            device->background = s.background;
            device->accurate = s.accurate;
            size_t before = events->events().size();
            service->sendLocationServicesAvailabilityEvent();
            auto all = events->events();
            ASSERT_EQ(all.size(), before + (s.event ? 1 : 0));
            if (s.event) {
                EXPECT_EQ(all.back().type, ZarnPLogEventTypeLocationServicesState);
                EXPECT_EQ(all.back().extra, *s.event);
                EXPECT_EQ(keyValueDao->getPropertyValueForKey("location_services_state"),
                          (*s.event)["current"].get<std::string>());
            }
        }
    }
}

TEST_F(PhoneStateServiceTest, NotificationStateIsReportedWithThePreviousOneOnlyOnChange) {
    struct Step {
        const char* version;
        bool enabled;
        int status;
        std::optional<Value> event;
        int stored;
    };
    const std::vector<Step> steps{
        {"16.4", true, 2, Value{{"current", "enabled"}, {"previous", "unknown"}}, 1},
        {"16.4", true, 2, std::nullopt, 1},
        {"16.4", false, 3, Value{{"current", "provisional"}, {"previous", "enabled"}}, 3},
        {"16.4", false, 3, std::nullopt, 3},
        {"16.4", false, 1, Value{{"current", "disabled"}, {"previous", "provisional"}}, 0},
        // Before version 12 the provisional status is not known.
        {"11.4", false, 3, std::nullopt, 0},
        {"11.4", true, 2, Value{{"current", "enabled"}, {"previous", "disabled"}}, 1},
    };
    auto service = build();
    for (size_t i = 0; i < steps.size(); ++i) {
        const auto& s = steps[i];
        SCOPED_TRACE(i);
        device->version = s.version;
        device->notificationsEnabled = s.enabled;
        device->authorizationStatus = s.status;
        size_t before = events->events().size();
        service->sendNotificationsEnabledEvent();
        auto all = events->events();
        ASSERT_EQ(all.size(), before + (s.event ? 1 : 0));
        if (s.event) {
            EXPECT_EQ(all.back().type, ZarnPLogEventTypeNotificationState);
            EXPECT_EQ(all.back().extra, *s.event);
        }
        EXPECT_EQ(keyValueDao->getIntPropertyValueForKey("remote_notifications_enabled"), s.stored);
    }
    // A stored provisional state reads "enabled" before version 12.
    keyValueDao->setIntPropertyValue(3, "remote_notifications_enabled");
    device->version = "11.4";
    device->notificationsEnabled = false;
    service->sendNotificationsEnabledEvent();
    EXPECT_EQ(events->events().back().extra, (Value{{"current", "disabled"}, {"previous", "enabled"}}));
}

TEST_F(PhoneStateServiceTest, OneChangedValueReportsAllValuesAndStoresEveryChange) {
    auto service = build(filteringDelegate());
    device->idfa = true;
    service->sendMetaDataEvent();
    auto first = extras(ZarnPLogEventTypePhoneState);
    ASSERT_EQ(first.size(), 1u);
    const Value expected{
        {"app_name", "Sample App"},
        {"app_version", "1.0"},
        {"platform", "iOS"},
        {"platform_version", "16.4"},
        {"framework", "native"},
        {"framework_version", ""},
        {"zarn_version", "3.0.0-beta-DEBUG"},
        {"hardware_manufacturer", "Apple"},
        {"hardware_model", "iPhone15,2"},
        {"hardware_has_slc", "yes"},
        {"hardware_has_geofence", "yes"},
        {"has_notification_filter", "yes"},
        {"has_custom_notification_handler", "no"},
        {"has_custom_geotrigger_handler", "no"},
        {"idfa_opted_in", "yes"},
    };
    EXPECT_EQ(first[0], expected);
    for (auto& [key, value] : expected.items())
        EXPECT_EQ(keyValueDao->getPropertyValueForKey(key), value.get<std::string>()) << key;

    service->sendMetaDataEvent();
    EXPECT_EQ(extras(ZarnPLogEventTypePhoneState).size(), 1u);

    // The first change does not stop the comparison: the later model is stored too.
    device->appVer = "1.1";
    device->model = std::nullopt;
    service->sendMetaDataEvent();
    auto all = extras(ZarnPLogEventTypePhoneState);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1]["app_version"], "1.1");
    EXPECT_EQ(all[1]["hardware_model"], "");
    EXPECT_EQ(all[1].size(), expected.size());
    EXPECT_EQ(keyValueDao->getPropertyValueForKey("app_version"), "1.1");
    EXPECT_EQ(keyValueDao->getPropertyValueForKey("hardware_model"), "");

    // Before version 14 there is no advertising opt-in.
    device->version = "13.7";
    service->sendMetaDataEvent();
    all = extras(ZarnPLogEventTypePhoneState);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_FALSE(all[2].contains("idfa_opted_in"));
}

TEST_F(PhoneStateServiceTest, BroadcastsUpdateEveryStateAndClearingReportsThemAgain) {
    auto service = build();
    for (const char* name :
         {"Zarn_Initialized", "Zarn_Location_Update_Completed_Private", "Zarn_Will_Resign_Active"})
        center->post(name);
    EXPECT_EQ(events->ofType(ZarnPLogEventTypeNotificationState).size(), 1u);
    EXPECT_EQ(events->ofType(ZarnPLogEventTypePhoneState).size(), 1u);
    EXPECT_EQ(events->ofType(ZarnPLogEventTypeLocationServicesState).size(), 1u);
    center->post("Zarn_Enabled");
    EXPECT_EQ(events->events().size(), 3u);

    service->clearData();
    for (const char* key :
         {"app_name", "app_version", "platform", "location_services_state", "remote_notifications_enabled"})
        EXPECT_FALSE(keyValueDao->hasProperty(key)) << key;
    EXPECT_TRUE(keyValueDao->hasProperty("platform_version"));
    service->updateStates();
    auto notifications = events->ofType(ZarnPLogEventTypeNotificationState);
    ASSERT_EQ(notifications.size(), 2u);
    EXPECT_EQ(notifications[1].extra["previous"], "unknown");
    EXPECT_EQ(events->ofType(ZarnPLogEventTypePhoneState).size(), 2u);
    // The accuracy stays stored: the state is reported with it as what came before.
    auto location = events->ofType(ZarnPLogEventTypeLocationServicesState);
    ASSERT_EQ(location.size(), 2u);
    EXPECT_EQ(
        location[1].extra,
        (Value{{"current", "enabled"}, {"current_accuracy", "accurate"}, {"previous_accuracy", "accurate"}}));

    // Once released, the service no longer hears the broadcasts.
    std::weak_ptr<ZarnPPhoneStateService> weak = service;
    service.reset();
    EXPECT_TRUE(weak.expired());
    center->post("Zarn_Initialized");
    EXPECT_EQ(events->events().size(), 6u);
}

TEST_F(PhoneStateServiceTest, AppInformationForTheMail) {
    auto service = build();
    device->frameworkName = "cordova";
    EXPECT_EQ(service->getAppInformation(),
              "App name: Sample App\nApp version: 1.0\nIOS Version: 16.4\nFramework: cordova\nModel: "
              "iPhone15,2\nZarn version: 3.0.0-beta-DEBUG");
}

}  // namespace
}  // namespace zarn
