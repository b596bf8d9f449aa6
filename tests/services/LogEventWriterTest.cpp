// The log-event writer: each error or warning line of the logger becomes an error event, stored
// on the SDK thread after the logging call returned, and never one about its own storing.
#include "services/ZarnPLogEventWriter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/ZarnPLogger.h"
#include "core/ZarnPSystemTimerDao.h"
#include "services/ZarnPEventLogging.h"
#include "tests/support/CaseNames.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/Value.h"
#include "zarn/platform/Platform.h"

namespace zarn {
namespace {

using namespace std::chrono_literals;
constexpr auto kSafety = 20s;  // only reached when something hangs

class RecordingEventLogging final : public ZarnPEventLogging {
  public:
    struct Event {
        unsigned type;
        Value extra;
        bool onSdkThread;
        bool withContext;
    };
    std::shared_ptr<ZarnPSystemTimerDao> dao;
    std::function<void()> whileStoring;

    void logEventWithType(unsigned type, const Value& extra,
                          const std::shared_ptr<ZarnPContext>& context) override {
        {
            std::lock_guard lk(mutex_);
            events_.push_back({type, extra, dao && dao->isRunThread(), context != nullptr});
        }
        if (whileStoring)
            whileStoring();
    }
    std::vector<Event> events() {
        std::lock_guard lk(mutex_);
        return events_;
    }

  private:
    std::mutex mutex_;
    std::vector<Event> events_;
};

class LogEventWriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        events->dao = dao;
        writer = std::make_shared<ZarnPLogEventWriter>(events, dao);
        ZarnPLogger::instance().addListener(writer);
    }
    void TearDown() override {
        ZarnPLogger::instance().removeListener(writer);
        sync();
        events->dao.reset();
    }
    void sync() {
        dao->invokeBlockOnRunLoop([] {}, true);
    }

    test::TestEnvironment env;
    std::shared_ptr<ZarnPSystemTimerDao> dao = std::make_shared<ZarnPSystemTimerDao>(
        platform::timeSource(), platform::mainRunLoop(), platform::current().application);
    std::shared_ptr<RecordingEventLogging> events = std::make_shared<RecordingEventLogging>();
    std::shared_ptr<ZarnPLogEventWriter> writer;
};

TEST_F(LogEventWriterTest, AnnouncesItselfAtCreation) {
    EXPECT_TRUE(
        env.consoleContains("DEBUG|LogEventWriter| Created LogEventWriter, errors and warnings logged before "
                            "weren't stored as events."));
}

struct EventCase {
    int level;
    std::string domain;
    std::optional<std::string> storedLevel;  // nothing: no event
    std::optional<std::string> consoleOnly;
};

class LogEventWriterRuleTest : public LogEventWriterTest, public ::testing::WithParamInterface<EventCase> {};

TEST_P(LogEventWriterRuleTest, ErrorsAndWarningsBecomeErrorEvents) {
    const auto& c = GetParam();
    ZarnPLogger::instance().logMessage("failed %d times", c.level, c.domain, {FormatArg::from(3)});
    sync();
    auto stored = events->events();
    if (c.storedLevel) {
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_EQ(stored[0].type, 13u);
        EXPECT_EQ(stored[0].extra,
                  (Value{{"message", "failed 3 times"}, {"level", *c.storedLevel}, {"domain", c.domain}}));
        EXPECT_TRUE(stored[0].onSdkThread);
        EXPECT_FALSE(stored[0].withContext);
    } else {
        EXPECT_TRUE(stored.empty());
    }
    if (c.consoleOnly) {
        EXPECT_EQ(env.consoleCount(*c.consoleOnly), 1);
    }
    EXPECT_EQ(env.consoleCount("Cannot create event"), c.consoleOnly ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, LogEventWriterRuleTest,
    ::testing::Values(
        EventCase{1, "Network", "1", std::nullopt}, EventCase{2, "Network", "2", std::nullopt},
        EventCase{3, "Network", std::nullopt, std::nullopt},
        EventCase{4, "Network", std::nullopt, std::nullopt},
        EventCase{1, "SqLiteEventDao", std::nullopt,
                  "Cannot create event for errors during event logging. Message: failed 3 times Level: 1"},
        EventCase{2, "SqLiteEventDao", std::nullopt,
                  "Cannot create event for errors during event logging. Message: failed 3 times Level: 2"}),
    [](const auto& info) { return test::caseName("Level", info.param.level, info.param.domain); });

TEST_F(LogEventWriterTest, TheEventIsStoredOnTheSdkThreadAfterTheLoggingCallReturned) {
    std::promise<void> entered, open;
    auto opened = open.get_future().share();
    dao->invokeBlockOnRunLoop(
        [&] {
            entered.set_value();
            opened.wait_for(kSafety);
        },
        false);
    entered.get_future().wait();
    LogError("Network", "timed out");
    EXPECT_TRUE(events->events().empty()) << "stored on the logging thread";
    open.set_value();
    sync();
    ASSERT_EQ(events->events().size(), 1u);
    EXPECT_TRUE(events->events()[0].onSdkThread);

    // Logged on the SDK thread itself: still queued, never stored inline.
    size_t inside = 99;
    dao->invokeBlockOnRunLoop(
        [&] {
            LogWarn("Location", "no fix");
            inside = events->events().size();
        },
        true);
    EXPECT_EQ(inside, 1u);
    sync();
    EXPECT_EQ(events->events().size(), 2u);
}

TEST_F(LogEventWriterTest, ALineLoggedWhileStoringAnErrorEventDoesNotFeedOnItself) {
    events->whileStoring = [] { LogError("EventService", "could not store: %@", "disk full"); };
    LogError("Network", "boom");
    sync();
    ASSERT_EQ(events->events().size(), 1u);
    EXPECT_EQ(events->events()[0].extra["message"], "boom");
    EXPECT_EQ(env.consoleCount("ERROR|EventService| could not store: disk full"), 1);
    EXPECT_EQ(env.consoleCount("Cannot create event for errors during event logging. Message: could not "
                               "store: disk full Level: 1"),
              1);

    // Once the store is done, lines become events again.
    events->whileStoring = nullptr;
    LogError("Network", "again");
    sync();
    EXPECT_EQ(events->events().size(), 2u);
}

TEST_F(LogEventWriterTest, AStoreThatThrowsLeavesTheGuardReleased) {
    auto calls = std::make_shared<std::atomic<int>>(0);
    events->whileStoring = [calls] {
        if (calls->fetch_add(1) == 0)
            throw std::runtime_error("store failed");
    };
    LogError("Network", "first");
    sync();  // the first store threw; its "Unhandled exception" line queued a second store
    sync();
    EXPECT_EQ(env.consoleCount("ERROR|Zarn| Unhandled exception: store failed"), 1);
    EXPECT_EQ(env.consoleCount("Cannot create event"), 0) << "the guard outlived the failed store";
    auto stored = events->events();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].extra["message"], "first");
    EXPECT_EQ(stored[1].extra,
              (Value{{"message", "Unhandled exception: store failed"}, {"level", "1"}, {"domain", "Zarn"}}));
}

}  // namespace
}  // namespace zarn
