// The debug-log mail on the simulated device: the alerts that explain why no mail can be sent,
// the composer's contents, and the helper's release once the composer is dismissed.
#include "device/system/ZarnPMailHelper.h"

#include <gtest/gtest.h>

#include "sim/SimAlertPresenter.h"
#include "sim/SimMailComposer.h"
#include "sim/SimWindowSystem.h"

namespace zarn {
namespace {

class HostScreen final : public ViewController {};

TEST(MailHelperTest, AlertsExplainWhyNoMailCanBeSent) {
    struct Case {
        bool hasMail;
        bool canSend;
        std::optional<std::vector<std::uint8_t>> data;
        const char* alert;
    };
    const std::vector<Case> cases{
        {false, true, std::vector<std::uint8_t>{1, 2}, "MessageUI dependency not available."},
        {true, false, std::vector<std::uint8_t>{1, 2}, "Email hasn't been configured."},
        {true, true, std::vector<std::uint8_t>{}, "No log information is available."},
        {true, true, std::nullopt, "No log information is available."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.alert);
        auto mail = std::make_shared<sim::SimMailComposing>();
        mail->setCanSendMail(c.canSend);
        auto windows = std::make_shared<sim::SimWindowSystem>();
        auto alerts = std::make_shared<sim::SimAlertPresenter>();
        auto helper = std::make_shared<ZarnPMailHelper>(std::make_shared<HostScreen>(),
                                                        c.hasMail ? mail : nullptr, windows, alerts);
        helper->setData(c.data);
        helper->sendLogViaMail("body");
        ASSERT_EQ(alerts->alerts().size(), 1u);
        EXPECT_EQ(alerts->alerts()[0].title, "Cannot send mail");
        EXPECT_EQ(alerts->alerts()[0].message, c.alert);
        EXPECT_EQ(alerts->alerts()[0].buttons, std::vector<std::string>{"OK"});
        EXPECT_TRUE(mail->composers().empty());
        EXPECT_TRUE(windows->presented().empty());
    }
}

TEST(MailHelperTest, ComposerCarriesTheLogAndReleasesTheHelperWhenDismissed) {
    auto mail = std::make_shared<sim::SimMailComposing>();
    auto windows = std::make_shared<sim::SimWindowSystem>();
    auto alerts = std::make_shared<sim::SimAlertPresenter>();
    auto parent = std::make_shared<HostScreen>();
    size_t open = ZarnPMailHelper::openComposerCount();
    auto helper = std::make_shared<ZarnPMailHelper>(parent, mail, windows, alerts);
    helper->setData(std::vector<std::uint8_t>{0x1f, 0x8b, 7});
    helper->sendLogViaMail("App name: Sample App");
    std::weak_ptr<ZarnPMailHelper> weak = helper;
    helper.reset();
    // The list of open composers keeps the helper while its composer is up.
    ASSERT_FALSE(weak.expired());
    EXPECT_EQ(ZarnPMailHelper::openComposerCount(), open + 1);

    ASSERT_EQ(mail->composers().size(), 1u);
    auto composer = mail->composers()[0].lock();
    ASSERT_TRUE(composer);
    EXPECT_EQ(composer->subject(), "ZarnKit log");
    EXPECT_EQ(composer->body(), "App name: Sample App");
    EXPECT_FALSE(composer->bodyIsHTML());
    ASSERT_EQ(composer->attachments().size(), 1u);
    EXPECT_EQ(composer->attachments()[0].data, (std::vector<std::uint8_t>{0x1f, 0x8b, 7}));
    EXPECT_EQ(composer->attachments()[0].mimeType, "application/x-gzip");
    EXPECT_EQ(composer->attachments()[0].fileName, "zarn.txt.gz");
    auto presented = windows->presented();
    ASSERT_EQ(presented.size(), 1u);
    EXPECT_EQ(presented[0].parent, parent);
    EXPECT_EQ(presented[0].controller, composer);
    EXPECT_TRUE(presented[0].animated);
    EXPECT_TRUE(alerts->alerts().empty());

    composer->finish(platform::MailComposeResult::Sent);
    EXPECT_EQ(windows->dismissCount(), 1);
    EXPECT_TRUE(windows->presented().empty());
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(ZarnPMailHelper::openComposerCount(), open);
    // A second answer finds nobody.
    composer->finish(platform::MailComposeResult::Cancelled);
    EXPECT_EQ(windows->dismissCount(), 1);
}

}  // namespace
}  // namespace zarn
