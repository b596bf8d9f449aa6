// The landing page on the simulated window system: the pages it loads, its counters and spinner,
// the navigation policy, the window it opens, and its release by the close button.
#include "services/ZarnPLandingPage.h"

#include <gtest/gtest.h>

#include "services/ZarnPLandingPageView.h"
#include "sim/SimDeviceInfo.h"
#include "sim/SimUrlOpener.h"
#include "sim/SimWindowSystem.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

constexpr const char* kAddress = "https://example.com/offer?id=7";

class LandingPageTest : public ::testing::Test {
  protected:
    void SetUp() override { windows->addScene(platform::SceneActivationState::ForegroundActive); }
    void TearDown() override {
        // A page keeps itself alive until closed.
        for (auto& b : windows->buttons())
            if (auto button = b.lock())
                button->tap();
        EXPECT_EQ(windows->liveWindowCount(), 0u);
    }

    std::shared_ptr<sim::SimWebView> show(const std::string& address = kAddress) {
        page.showLandingPage(address);
        auto views = windows->webViews();
        return views.empty() ? nullptr : views.back().lock();
    }

    test::TestEnvironment env;
    std::shared_ptr<sim::SimWindowSystem> windows = std::make_shared<sim::SimWindowSystem>();
    std::shared_ptr<sim::SimUrlOpener> opener = std::make_shared<sim::SimUrlOpener>();
    std::shared_ptr<sim::SimDeviceInfo> device = std::make_shared<sim::SimDeviceInfo>();
    ZarnPLandingPage page{windows, opener, device};
};

enum class Op { Start, Finish, Fail, FailProvisional };
struct Step {
    Op op;
    long code = 0;
    bool spinnerHidden = true;  // after the step
};
struct NavigationCase {
    const char* name;
    std::vector<Step> steps;
    int pagesBeingLoaded;
    int pagesLoaded;
    bool errorPage;
};

TEST_F(LandingPageTest, NavigationsDriveTheCountersSpinnerAndErrorPage) {
    const std::vector<NavigationCase> cases{
        {"loading page, then the address",
         {{Op::Start, 0, false}, {Op::Finish, 0, true}, {Op::Start, 0, false}, {Op::Finish, 0, true}},
         0,
         1,
         false},
        {"unreachable address fails before committing",
         {{Op::Start, 0, false}, {Op::Finish}, {Op::Start, 0, false}, {Op::FailProvisional, -1003, true}},
         0,
         0,
         true},
        {"committed load fails",
         {{Op::Start, 0, false}, {Op::Finish}, {Op::Start, 0, false}, {Op::Fail, -1005, true}},
         0,
         0,
         true},
        {"cancelled while another starts",
         {{Op::Start, 0, false},
          {Op::Finish},
          {Op::Start, 0, false},
          {Op::Start, 0, false},
          {Op::Fail, -999, false},
          {Op::Finish, 0, true}},
         0,
         1,
         false},
        {"failure while another still loads",
         {{Op::Start, 0, false},
          {Op::Finish},
          {Op::Start, 0, false},
          {Op::Start, 0, false},
          {Op::Fail, -1001, false}},
         1,
         0,
         false},
        {"failure after a page loaded leaves it",
         {{Op::Start, 0, false},
          {Op::Finish},
          {Op::Start, 0, false},
          {Op::Finish},
          {Op::Start, 0, false},
          {Op::FailProvisional, -1009, true}},
         0,
         1,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int errorsBefore = env.consoleCount("Failed to load landing page:");
        auto web = show();
        ASSERT_TRUE(web);
        auto spinner = windows->indicators().back().lock();
        ASSERT_TRUE(spinner);
        EXPECT_TRUE(spinner->isHidden());
        EXPECT_TRUE(spinner->isAnimating());
        ASSERT_EQ(web->loads().size(), 1u);
        EXPECT_TRUE(web->loads()[0].html);
        EXPECT_EQ(web->loads()[0].content, ZarnPLandingPageView::kLoadingPage);
        EXPECT_FALSE(web->loads()[0].baseUrl);
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const auto& s = c.steps[i];
            switch (s.op) {
                case Op::Start:
                    web->start();
                    break;
                case Op::Finish:
                    web->finish();
                    break;
                case Op::Fail:
                    web->fail(s.code);
                    break;
                case Op::FailProvisional:
                    web->fail(s.code, true);
                    break;
            }
            EXPECT_EQ(spinner->isHidden(), s.spinnerHidden) << "after step " << i;
        }
        // The first finish loads the address, once.
        ASSERT_GE(web->loads().size(), 2u);
        EXPECT_FALSE(web->loads()[1].html);
        EXPECT_EQ(web->loads()[1].content, kAddress);
        EXPECT_EQ(web->loads().size(), c.errorPage ? 3u : 2u);
        if (c.errorPage) {
            EXPECT_TRUE(web->loads()[2].html);
            EXPECT_EQ(web->loads()[2].content, ZarnPLandingPageView::errorPage(kAddress));
        }
        EXPECT_EQ(env.consoleCount("Failed to load landing page:"), errorsBefore + (c.errorPage ? 1 : 0));
        windows->buttons().back().lock()->tap();
        EXPECT_EQ(windows->liveWindowCount(), 0u);
    }
}

TEST_F(LandingPageTest, ErrorPageCarriesTheReloadAndBrowserLinksOfTheAddress) {
    auto page = ZarnPLandingPageView::errorPage(kAddress);
    EXPECT_EQ(page.rfind("<!doctype html><html><head>", 0), 0u);
    EXPECT_NE(page.find("left:50%%; height: 30px;"), std::string::npos);  // an argument, not a format
    EXPECT_NE(
        page.find("<h3>Error loading webpage, check your internet connection.</h3><a "
                  "href=\"reload:https://example.com/offer?id=7\"><button "
                  "class=\"button\">Reload</button></a><a id=\"browser\" "
                  "href=\"https://example.com/offer?id=7\">Click here to view in browser.</a></body></html>"),
        std::string::npos);
    EXPECT_NE(std::string(ZarnPLandingPageView::kLoadingPage).find("<h1>Loading\xE2\x80\xA6</h1>"),
              std::string::npos);
}

struct PolicyCase {
    const char* url;
    platform::NavigationType type;
    platform::NavigationPolicy policy;
    bool handedToSystem;
    const char* reloads;  // the address loaded again, or null
    bool unableToOpen;
};

TEST_F(LandingPageTest, LinkPolicyReloadsHandsTappedLinksToTheSystemAndAllowsTheRest) {
    using platform::NavigationPolicy;
    using platform::NavigationType;
    const std::vector<PolicyCase> cases{
        {"https://example.com/more", NavigationType::LinkActivated, NavigationPolicy::Allow, true, nullptr,
         false},
        {"reload:https://example.com/offer", NavigationType::LinkActivated, NavigationPolicy::Cancel, true,
         "https://example.com/offer", true},
        {"https://example.com/frame", NavigationType::Other, NavigationPolicy::Allow, false, nullptr, false},
        {"shop-app://item/4", NavigationType::LinkActivated, NavigationPolicy::Allow, true, nullptr, true},
        {"reload:https://example.com/x", NavigationType::Other, NavigationPolicy::Cancel, false,
         "https://example.com/x", false},
        {"https://example.com/form", NavigationType::FormSubmitted, NavigationPolicy::Allow, false, nullptr,
         false},
    };
    auto web = show();
    ASSERT_TRUE(web);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        size_t loads = web->loads().size();
        size_t opened = opener->opened().size();
        int unable = env.consoleCount("Unable to open url.");
        int reloading = env.consoleCount("Reloading landing page");
        auto answer = web->tapLink(c.url, c.type);
        ASSERT_TRUE(answer);
        EXPECT_EQ(*answer, c.policy);
        ASSERT_EQ(opener->opened().size(), opened + (c.handedToSystem ? 1 : 0));
        if (c.handedToSystem) {
            EXPECT_EQ(opener->opened().back(), c.url);
        }
        EXPECT_EQ(env.consoleCount("Unable to open url."), unable + (c.unableToOpen ? 1 : 0));
        EXPECT_EQ(env.consoleCount("Reloading landing page"), reloading + (c.reloads ? 1 : 0));
        // An allowed navigation is the tapped address itself; a reload loads only the address.
        ASSERT_EQ(web->loads().size(), loads + 1);
        EXPECT_EQ(web->loads().back().content, c.reloads ? c.reloads : c.url);
    }
}

TEST_F(LandingPageTest, AddressIsPercentEncodedOnceMoreOrRefused) {
    struct Case {
        const char* address;
        const char* loaded;  // null: refused
    };
    const std::vector<Case> cases{
        {"https://example.com/a b", "https://example.com/a%20b"},
        {"https://example.com/a%20b", "https://example.com/a%2520b"},
        {"https://example.com/p?q=1&r=[2]#top", nullptr},
        {"https://example.com/p?q=1&r=2#top", "https://example.com/p?q=1&r=2#top"},
        {"https://example.com/caf\xC3\xA9", "https://example.com/caf%C3%A9"},
        {"http://[::1]:8080/x", "http://[::1]:8080/x"},
        {"https://example.com/#a#b", nullptr},
        {"", nullptr},
        {"1nvalid://scheme", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        size_t before = windows->webViews().size();
        int refused = env.consoleCount("Invalid URL: ");
        auto web = show(c.address);
        if (!c.loaded) {
            EXPECT_EQ(windows->webViews().size(), before);
            EXPECT_EQ(env.consoleCount("Invalid URL: "), refused + 1);
            continue;
        }
        ASSERT_EQ(windows->webViews().size(), before + 1);
        web->completeLoad();
        EXPECT_EQ(web->loads().back().content, c.loaded);
    }
}

TEST_F(LandingPageTest, BracketsOnlyEncloseOneAuthorityHostAndSchemesAreChecked) {
    const std::vector<std::pair<const char*, bool>> accepted{
        {"http://[v1.x]/a", true},
        {"a+b-c.d://x", true},
        {"/a:b", true},
        {"http://[::1/x", false},
        {"http://::1]/x", false},
        {"http://[::1][::2]/x", false},
        {"http://[::1]]/x", false},
        {"http://x/[1]", false},
        {"http:[x]", false},
        {"ab_c://x", false},
        {":x", false},
        {"http://x#a[b]", false},
    };
    for (const auto& [address, ok] : accepted) {
        SCOPED_TRACE(address);
        int refused = env.consoleCount("Invalid URL: ");
        show(address);
        EXPECT_EQ(env.consoleCount("Invalid URL: "), refused + (ok ? 0 : 1));
    }
}

TEST_F(LandingPageTest, WindowGoesToTheFirstForegroundActiveSceneOrIsNotMade) {
    struct Case {
        const char* version;
        std::vector<platform::SceneActivationState> scenes;
        int sceneIndex;  // -1: screen road, -2: nothing shown
    };
    using S = platform::SceneActivationState;
    const std::vector<Case> cases{
        {"16.4", {S::Background, S::ForegroundActive, S::ForegroundActive}, 1},
        {"13.0", {S::ForegroundActive}, 0},
        {"16.4", {S::ForegroundInactive, S::Background}, -2},
        {"16.4", {}, -2},
        {"12.4", {S::Background}, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version + std::string(" scene ") + std::to_string(c.sceneIndex));
        windows = std::make_shared<sim::SimWindowSystem>();
        windows->setMainScreenBounds({0, 0, 414, 896});
        std::vector<std::shared_ptr<sim::SimScene>> scenes;
        for (auto s : c.scenes) scenes.push_back(windows->addScene(s));
        device->setSystemVersion(c.version);
        ZarnPLandingPage local(windows, opener, device);
        size_t lines = env.console->lines().size();
        local.showLandingPage(kAddress);
        if (c.sceneIndex == -2) {
            EXPECT_TRUE(windows->windows().empty());
            EXPECT_TRUE(windows->webViews().empty());
            EXPECT_TRUE(windows->views().empty());
            EXPECT_EQ(env.console->lines().size(), lines);
            continue;
        }
        ASSERT_EQ(windows->windows().size(), 1u);
        auto window = windows->windows()[0].lock();
        ASSERT_TRUE(window);
        EXPECT_TRUE(window->isShowing());
        if (c.sceneIndex >= 0) {
            EXPECT_EQ(window->scene(), scenes[c.sceneIndex]);
        } else {
            EXPECT_FALSE(window->scene());
            EXPECT_EQ(window->frame(), (platform::Rect{0, 0, 414, 896}));
        }
        // The close button sits 10 points from the top and right edges, 52 points wide.
        auto button = windows->buttons().back().lock();
        EXPECT_EQ(button->frame(), (platform::Rect{414 - 62, 10, 52, 52}));
        EXPECT_EQ(button->style().title, "\xC3\x97");
        EXPECT_EQ(button->style().cornerRadius, 26.0);
        auto root = sim::SimViewCore::of(window->rootView());
        ASSERT_TRUE(root);
        EXPECT_EQ(root->frame_, (platform::Rect{0, 0, 414, 896}));
        EXPECT_EQ(root->autoresizingMask_, 18u);
        EXPECT_EQ(root->subviews_.size(), 3u);
        button->tap();
    }
}

TEST_F(LandingPageTest, CloseButtonReleasesTheWholePageAndLeavesTheOneBelow) {
    auto first = show("https://example.com/first");
    auto second = show("https://example.com/second");
    ASSERT_TRUE(first && second);
    ASSERT_EQ(windows->liveWindowCount(), 2u);
    std::weak_ptr<sim::SimWebView> weakSecond = second;
    std::weak_ptr<sim::SimWebView> weakFirst = first;
    auto window = windows->windows()[1].lock();
    std::weak_ptr<ViewController> controller = window->rootViewController();
    std::weak_ptr<platform::View> rootView = window->rootView();
    first.reset();
    window.reset();

    auto secondButton = windows->buttons()[1].lock();
    secondButton->tap();
    secondButton.reset();
    // Loading stopped and the web view taken out, its page gone although the test still holds it.
    EXPECT_EQ(second->stopCount(), 1);
    EXPECT_FALSE(second->hasSuperview());
    EXPECT_FALSE(second->hasDelegate());
    second.reset();
    EXPECT_TRUE(env.consoleContains("closeView"));
    EXPECT_TRUE(weakSecond.expired());
    EXPECT_TRUE(controller.expired());
    EXPECT_TRUE(rootView.expired());
    EXPECT_TRUE(windows->windows()[1].expired());
    EXPECT_TRUE(windows->buttons()[1].expired());
    EXPECT_TRUE(windows->indicators()[1].expired());
    // The first page is untouched and still loads.
    ASSERT_FALSE(weakFirst.expired());
    auto firstWeb = weakFirst.lock();
    firstWeb->completeLoad();
    EXPECT_EQ(firstWeb->loads().back().content, "https://example.com/first");
    EXPECT_TRUE(windows->windows()[0].lock()->isShowing());
}

}  // namespace
}  // namespace zarn
