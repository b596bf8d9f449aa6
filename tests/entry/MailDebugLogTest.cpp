// Mailing the debug log through the facade of a built module: the export and the app
// information are made on the SDK thread and the composer on the main thread receives them.
#include <gtest/gtest.h>

#include "core/ZarnPGzipHelper.h"
#include "core/ZarnPZarnConfiguration.h"
#include "device/exchange/ZarnPHttpRequestCreatorImpl.h"
#include "device/system/ZarnPLocationManagerCreatorImpl.h"
#include "entry/ZarnPModule.h"
#include "sim/Device.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/ZarnDelegate.h"

namespace zarn {
namespace {

class HostScreen final : public ViewController {};

TEST(MailDebugLogTest, ComposerReceivesTheCompressedLogAndTheAppInformation) {
    test::TestEnvironment env;
    env.device->deviceHardware()->setMachine(std::string("iPhone14,7"));
    auto services = platform::current();
    auto configuration = std::make_shared<ZarnPZarnConfiguration>();
    configuration->setPublicToken(std::string("token-1"));
    configuration->setDelegate(std::make_shared<ZarnDelegate>());
    auto module = std::make_shared<ZarnPModule>(
        configuration, std::make_shared<ZarnPHttpRequestCreatorImpl>(services.httpClient),
        std::make_shared<ZarnPLocationManagerCreatorImpl>(services.locationManagerFactory,
                                                          services.locationAuthorization));
    env.runUntilIdle();
    auto parent = std::make_shared<HostScreen>();
    module->interface()->mailDebugLog(parent);
    env.runUntilIdle();

    auto composers = env.device->mailComposing()->composers();
    ASSERT_EQ(composers.size(), 1u);
    auto composer = composers[0].lock();
    ASSERT_TRUE(composer);
    EXPECT_EQ(composer->body(),
              "App name: Sample App\nApp version: 1.0\nIOS Version: 16.4\nFramework: native\nModel: "
              "iPhone14,7\nZarn version: 3.0.0-beta-DEBUG");
    ASSERT_EQ(composer->attachments().size(), 1u);
    auto text = ZarnPGzipHelper::gzipInflate(composer->attachments()[0].data);
    ASSERT_TRUE(text);
    EXPECT_EQ(std::string(text->begin(), text->end()).rfind("Zarn debug log - Phone information:\n", 0), 0u);
    ASSERT_EQ(env.device->windowSystem()->presented().size(), 1u);
    EXPECT_EQ(env.device->windowSystem()->presented()[0].parent, parent);
    composer->finish(platform::MailComposeResult::Sent);
    EXPECT_TRUE(env.device->windowSystem()->presented().empty());

    module.reset();
    env.runUntilIdle();
}

}  // namespace
}  // namespace zarn
