// Stores and services belong to the SDK thread: with the checks on, a call from any other
// thread after the SDK thread has used them stops the process.
#include <gtest/gtest.h>

#include <functional>

#include "core/ZarnPContext.h"
#include "core/ZarnPEvent.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnPUuidGenerator.h"
#include "device/ZarnPDeviceIdDao.h"
#include "device/ZarnPKeyValueDao.h"
#include "services/ZarnPEventService.h"
#include "sim/Device.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteEventDao.h"
#include "store/ZarnPSqLiteKeyValueDao.h"
#include "tests/support/ServiceDoubles.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

#ifdef ZARN_SEQUENCE_CHECKS
TEST(StoreSequenceDeathTest, StoresAndServicesUsedOnTheSdkThreadRefuseAnyOtherThread) {
    test::TestEnvironment env;
    auto db = std::make_shared<ZarnPSqLiteDb>(22, env.path("Documents/zarn.db"),
                                              zarn::platform::current().fileSystem);
    db->disableThreadCheck();
    auto strings = std::make_shared<ZarnPSqLiteKeyValueDao>(db);
    auto settings = strings->keyValueDao();
    auto events = std::make_shared<ZarnPSqLiteEventDao>(db);
    auto timer =
        std::make_shared<ZarnPSystemTimerDao>(env.time, platform::mainRunLoop(), env.device->application());
    auto deviceId = std::make_shared<ZarnPDeviceIdDao>(std::make_shared<ZarnPUuidGenerator>(), settings);
    auto eventService = ZarnPEventService::create(
        events, settings, std::make_shared<ZarnPUuidGenerator>(), std::make_shared<test::FreshSegmentation>(),
        std::make_shared<test::UnreachableService>(), std::make_shared<ZarnPSystemClockDao>(env.time),
        platform::defaultCenter());
    std::string id;
    timer->invokeBlockOnRunLoop(
        [&] {
            settings->setPropertyValue(std::string("v"), "k");
            eventService->logEventWithType(ZarnPLogEventTypeEnableService, nullptr);
            id = deviceId->getDeviceId();
        },
        true);

    struct Case {
        const char* name;
        std::function<void()> call;
    };
    const Case cases[] = {
        {"key-value read", [&] { settings->getPropertyValueForKey("k"); }},
        {"key-value write", [&] { settings->setPropertyValue(std::string("w"), "k"); }},
        {"key-value removal", [&] { settings->unsetPropertyKey("k"); }},
        {"event count", [&] { events->getEventCount(); }},
        {"event read", [&] { events->getEvents(); }},
        {"event cap", [&] { events->limitEventsOfType(ZarnPLogEventTypeEnableService, 1); }},
        {"event service", [&] { eventService->logEventWithType(ZarnPLogEventTypeDisableService, nullptr); }},
        {"upload", [&] { eventService->sendEvents(); }},
        {"device id", [&] { deviceId->getDeviceId(); }},
    };
    // The dying child logs to standard error, not to the test's recording console.
    for (const auto& c : cases) {
        EXPECT_DEATH(
            {
                platform::uninstall();
                c.call();
            },
            "called off its sequence")
            << c.name;
    }

    // The refused calls changed nothing, and the SDK thread goes on using them.
    std::optional<std::string> value;
    int count = 0;
    std::string again;
    timer->invokeBlockOnRunLoop(
        [&] {
            value = settings->getPropertyValueForKey("k");
            count = events->getEventCount();
            again = deviceId->getDeviceId();
        },
        true);
    EXPECT_EQ(value, "v");
    EXPECT_EQ(count, 1);
    EXPECT_EQ(again, id);
}
#endif

}  // namespace
}  // namespace zarn
