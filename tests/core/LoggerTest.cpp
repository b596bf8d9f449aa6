#include "core/ZarnPLogger.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <future>
#include <latch>
#include <regex>
#include <sstream>
#include <thread>

#include "core/ZarnPLogFileAppender.h"
#include "device/system/ZarnPCrashlyticsStubs.h"
#include "sim/RecordingCrashReporter.h"
#include "tests/support/CaseNames.h"
#include "tests/support/ForwardingFileSystem.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/Value.h"
#include "zarn/platform/Platform.h"

namespace zarn {
namespace {

using namespace std::chrono_literals;
constexpr auto kSafety = 20s;  // only reached when something hangs

struct Line {
    std::string message;
    int level;
    std::string domain;
    bool operator==(const Line&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Line& l) {
    return os << l.level << "|" << l.domain << "|" << l.message;
}

class RecordingListener final : public ZarnPLogListener {
  public:
    explicit RecordingListener(std::function<void(const Line&)> onLine = nullptr)
        : onLine_(std::move(onLine)) {}
    void didLogMessage(const std::string& message, int level, const std::string& domain) override {
        Line line{message, level, domain};
        {
            std::lock_guard lk(mutex_);
            lines_.push_back(line);
        }
        if (onLine_)
            onLine_(line);
    }
    std::vector<Line> lines() {
        std::lock_guard lk(mutex_);
        return lines_;
    }

  private:
    std::function<void(const Line&)> onLine_;
    std::mutex mutex_;
    std::vector<Line> lines_;
};

// Adds a listener to the shared logger for the scope of a test.
struct ScopedListener {
    std::shared_ptr<ZarnPLogListener> listener;
    explicit ScopedListener(std::shared_ptr<ZarnPLogListener> l) : listener(std::move(l)) {
        ZarnPLogger::instance().addListener(listener);
    }
    ~ScopedListener() { ZarnPLogger::instance().removeListener(listener); }
};

struct DomainLevel {
    std::string domain;
    DomainLevel(std::string d, int level) : domain(std::move(d)) {
        ZarnPLogger::instance().setLevel(level, domain);
    }
    ~DomainLevel() { ZarnPLogger::instance().setLevel(ZarnPLogLevelUseGlobal, domain); }
};

void installCrashReporter(std::shared_ptr<platform::CrashReporter> reporter) {
    auto services = platform::current();
    services.crashReporter = std::move(reporter);
    platform::install(services);
    // What the module does at start-up.
    ZarnPLogger::instance().setErrorRecorder(std::make_shared<ZarnPCrashlyticsErrorRecorder>());
}

// Switches the process to a locale with a decimal comma for the scope of a test.
class CommaLocale {
  public:
    CommaLocale() {
        const char* old = std::setlocale(LC_ALL, nullptr);
        saved_ = old ? old : "C";
        active_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    }
    ~CommaLocale() { std::setlocale(LC_ALL, saved_.c_str()); }
    bool active() const { return active_; }

  private:
    std::string saved_;
    bool active_ = false;
};

// A logger of its own, on the test's user defaults and console.
class LoggerLevelTest : public ::testing::Test {
  protected:
    test::TestEnvironment env;
    std::unique_ptr<ZarnPLogger> makeLogger() {
        return std::make_unique<ZarnPLogger>(env.userDefaults, env.console);
    }
};

TEST_F(LoggerLevelTest, AbsentStoredLevelMeansDebugAndIsWrittenBack) {
    ASSERT_FALSE(env.userDefaults->integerForKey("LoggerLevel"));
    auto logger = makeLogger();
    EXPECT_EQ(logger->level(), ZarnPLogLevelDebug);
    EXPECT_EQ(env.userDefaults->integerForKey("LoggerLevel"), 4);
    EXPECT_TRUE(logger->defaultLoggingEnabled());
}

TEST_F(LoggerLevelTest, SetLevelSurvivesIntoTheNextLogger) {
    makeLogger()->setLevel(ZarnPLogLevelError);
    EXPECT_EQ(env.userDefaults->integerForKey("LoggerLevel"), 1);
    EXPECT_EQ(makeLogger()->level(), ZarnPLogLevelError);
}

TEST_F(LoggerLevelTest, StoredWarnLevelKeepsDebugAndInfoFromConsoleFileAndListeners) {
    env.userDefaults->setInteger(2, "LoggerLevel");
    auto logger = makeLogger();
    EXPECT_EQ(logger->level(), ZarnPLogLevelWarn);
    auto listener = std::make_shared<RecordingListener>();
    auto file = std::make_shared<ZarnPLogFileAppender>(
        "~/Documents/zarn.log", false, platform::current().fileSystem, platform::timeSource());
    logger->addListener(listener);
    logger->addListener(file);

    logger->logMessage("debug %d", ZarnPLogLevelDebug, "Dom", {FormatArg::from(1)});
    logger->logMessage("info %d", ZarnPLogLevelInfo, "Dom", {FormatArg::from(2)});
    EXPECT_TRUE(env.console->lines().empty());
    EXPECT_TRUE(listener->lines().empty());
    EXPECT_FALSE(env.fileSystem->fileExists("~/Documents/zarn.log"));

    logger->logMessage("warn %d", ZarnPLogLevelWarn, "Dom", {FormatArg::from(3)});
    logger->logMessage("error %d", ZarnPLogLevelError, "Dom", {FormatArg::from(4)});
    EXPECT_EQ(env.console->lines(), (std::vector<std::string>{"WARN|Dom| warn 3", "ERROR|Dom| error 4"}));
    EXPECT_EQ(listener->lines(), (std::vector<Line>{{"warn 3", 2, "Dom"}, {"error 4", 1, "Dom"}}));
    std::string contents = file->getLogContents();
    EXPECT_NE(contents.find("|WARN|Dom| warn 3\n"), std::string::npos);
    EXPECT_NE(contents.find("|ERROR|Dom| error 4\n"), std::string::npos);
    EXPECT_EQ(contents.find("debug"), std::string::npos);
    EXPECT_EQ(contents.find("info"), std::string::npos);
}

struct DomainCase {
    int global;
    std::optional<int> domainLevel;
    int line;
    bool passes;
};

class LoggerDomainTest : public ::testing::TestWithParam<DomainCase> {};

TEST_P(LoggerDomainTest, DomainLevelsOnlyMakeADomainStricter) {
    test::TestEnvironment env;
    ZarnPLogger logger(env.userDefaults, env.console);
    const auto& c = GetParam();
    logger.setLevel(c.global);
    if (c.domainLevel)
        logger.setLevel(*c.domainLevel, "Store");
    EXPECT_EQ(logger.isEnabled(c.line, "Store"), c.passes);
    logger.logMessage("line", c.line, "Store", {});
    EXPECT_EQ(env.console->lines().size(), c.passes ? 1u : 0u);
    // Another domain follows the global level alone.
    EXPECT_EQ(logger.isEnabled(c.line, "Other"), c.line <= c.global);
}

INSTANTIATE_TEST_SUITE_P(Rules, LoggerDomainTest,
                         ::testing::Values(DomainCase{4, std::nullopt, 2, true},  //
                                           DomainCase{4, 1, 2, false},   // WARN cut by an ERROR domain
                                           DomainCase{4, 1, 1, true},    //
                                           DomainCase{4, -1, 4, true},   // USEGLOBAL changes nothing
                                           DomainCase{2, -1, 3, false},  //
                                           DomainCase{2, 4, 3, false},   // cannot loosen the global level
                                           DomainCase{3, 3, 3, true},    //
                                           DomainCase{4, 0, 1, false},   // NONE silences the domain
                                           DomainCase{0, std::nullopt, 1, false}),
                         [](const auto& info) {
                             const auto& c = info.param;
                             return test::caseName("Global", c.global, "Domain",
                                                   c.domainLevel ? test::casePart(*c.domainLevel) : "Unset",
                                                   "Line", c.line);
                         });

TEST(LoggerTest, LevelForDomainIsMinusOneUntilSet) {
    test::TestEnvironment env;
    ZarnPLogger logger(env.userDefaults, env.console);
    EXPECT_EQ(logger.levelForDomain("Module"), -1);
    logger.setLevel(2, "Module");
    EXPECT_EQ(logger.levelForDomain("Module"), 2);
    EXPECT_EQ(logger.levelForDomain("Other"), -1);
}

TEST(LoggerTest, NameForLevel) {
    const std::vector<std::pair<int, std::string>> names = {{-1, "USEGLOBAL"}, {0, "NONE"}, {1, "ERROR"},
                                                            {2, "WARN"},       {3, "INFO"}, {4, "DEBUG"},
                                                            {5, "NONE"},       {7, "NONE"}, {-2, "NONE"}};
    for (auto& [level, name] : names) EXPECT_EQ(ZarnPLogger::nameForLevel(level), name) << level;
}

TEST(LoggerTest, ConsoleLineFormatAndTheConsoleSwitch) {
    test::TestEnvironment env;
    ZarnPLogger logger(env.userDefaults, env.console);
    auto listener = std::make_shared<RecordingListener>();
    logger.addListener(listener);
    logger.logMessage("started > %@ (%d regions)", ZarnPLogLevelDebug, "Module",
                      {FormatArg::from("3.0.0-beta-DEBUG"), FormatArg::from(20)});
    EXPECT_EQ(env.console->lines(),
              (std::vector<std::string>{"DEBUG|Module| started > 3.0.0-beta-DEBUG (20 regions)"}));

    logger.setDefaultLoggingEnabled(false);
    logger.logMessage("quiet", ZarnPLogLevelInfo, "Module", {});
    EXPECT_EQ(env.console->lines().size(), 1u) << "console switched off";
    EXPECT_EQ(listener->lines().back(), (Line{"quiet", 3, "Module"})) << "listeners still hear it";
}

TEST(LoggerTest, ListenersHearEveryLineInTheOrderTheyWereAdded) {
    test::TestEnvironment env;
    ZarnPLogger logger(env.userDefaults, env.console);
    std::vector<std::string> order;
    auto first =
        std::make_shared<RecordingListener>([&](const Line& l) { order.push_back("first:" + l.message); });
    auto second =
        std::make_shared<RecordingListener>([&](const Line& l) { order.push_back("second:" + l.message); });
    logger.addListener(first);
    logger.addListener(second);
    logger.logMessage("a", ZarnPLogLevelError, "D", {});
    EXPECT_EQ(order, (std::vector<std::string>{"first:a", "second:a"}));
    EXPECT_EQ(logger.listeners().size(), 2u);

    EXPECT_TRUE(logger.removeListener(first));
    EXPECT_FALSE(logger.removeListener(first));
    logger.logMessage("b", ZarnPLogLevelError, "D", {});
    EXPECT_EQ(order, (std::vector<std::string>{"first:a", "second:a", "second:b"}));
}

TEST(LoggerTest, ListenerPropertiesAreKeptByName) {
    test::TestEnvironment env;
    ZarnPLogger logger(env.userDefaults, env.console);
    EXPECT_FALSE(logger.valueForlistenerPropertyName("LogFileAppender.clearOnStart"));
    logger.setListenerPropertyValue(Value(true), "LogFileAppender.clearOnStart");
    EXPECT_EQ(logger.valueForlistenerPropertyName("LogFileAppender.clearOnStart"), Value(true));
}

TEST(LoggerTest, AListenerMayLogWithoutDeadlock) {
    test::TestEnvironment env;
    auto logger = std::make_shared<ZarnPLogger>(env.userDefaults, env.console);
    auto listener = std::make_shared<RecordingListener>([logger](const Line& l) {
        if (l.domain == "Outer")
            logger->logMessage("echo of %@", ZarnPLogLevelInfo, "Inner", {FormatArg::from(l.message)});
    });
    logger->addListener(listener);
    // Logged on a thread of its own and left behind if it hangs, so that a deadlock is reported.
    auto finished = std::make_shared<std::promise<void>>();
    auto done = finished->get_future();
    std::thread([logger, finished] {
        logger->logMessage("hello", ZarnPLogLevelWarn, "Outer", {});
        finished->set_value();
    }).detach();
    ASSERT_EQ(done.wait_for(kSafety), std::future_status::ready) << "logging from a listener deadlocked";
    EXPECT_EQ(listener->lines(), (std::vector<Line>{{"hello", 2, "Outer"}, {"echo of hello", 3, "Inner"}}));
    EXPECT_EQ(env.console->lines(),
              (std::vector<std::string>{"WARN|Outer| hello", "INFO|Inner| echo of hello"}));
    logger->removeListener(listener);  // the listener holds the logger
}

TEST(LoggerTest, LoggingFromManyThreadsWhileListenersComeAndGo) {
    test::TestEnvironment env;
    ZarnPLogger logger(env.userDefaults, env.console);
    auto steady = std::make_shared<RecordingListener>();
    logger.addListener(steady);
    constexpr int kThreads = 4, kEach = 200;
    std::latch go(kThreads + 1);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            go.arrive_and_wait();
            for (int i = 0; i < kEach; ++i)
                logger.logMessage("t%d n%d", ZarnPLogLevelInfo, "Load",
                                  {FormatArg::from(t), FormatArg::from(i)});
        });
    threads.emplace_back([&] {
        go.arrive_and_wait();
        for (int i = 0; i < 100; ++i) {
            auto passing = std::make_shared<RecordingListener>();
            logger.addListener(passing);
            logger.setLevel(i % 3, "Unrelated");
            logger.removeListener(passing);
        }
    });
    for (auto& t : threads) t.join();
    EXPECT_EQ(steady->lines().size(), static_cast<size_t>(kThreads * kEach));
    EXPECT_EQ(env.console->lines().size(), static_cast<size_t>(kThreads * kEach));
}

TEST(LoggerTest, NsErrorKeepsThePercentSignsOfTheDescriptionAndReachesTheCrashReporter) {
    test::TestEnvironment env;
    auto reporter = std::make_shared<sim::RecordingCrashReporter>();
    installCrashReporter(reporter);
    auto listener = std::make_shared<RecordingListener>();
    ScopedListener scoped(listener);

    Error error{"ZarnDomain", 19, "disk 100% full %@ %s %n"};
    LogNsError("Store", error, "Could not save %@", "events");
    const std::string expected =
        "Could not save events - Error Domain=ZarnDomain Code=19 \"disk 100% full %@ %s %n\"";
    EXPECT_EQ(env.console->lines(), (std::vector<std::string>{"ERROR|Store| " + expected}));
    EXPECT_EQ(listener->lines(), (std::vector<Line>{{expected, 1, "Store"}}));
    EXPECT_EQ(reporter->errors(), (std::vector<Error>{error}));

    // The error is recorded before the line is filtered.
    DomainLevel silent("Quiet", ZarnPLogLevelNone);
    LogNsError("Quiet", Error{"D", 1, "m"}, "no line");
    EXPECT_EQ(env.console->lines().size(), 1u);
    EXPECT_EQ(reporter->errors().size(), 2u);
}

TEST(LoggerTest, NumbersUseTheCLocaleWhateverTheProcessLocale) {
    CommaLocale comma;
    if (!comma.active())
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    test::TestEnvironment env;
    auto file = std::make_shared<ZarnPLogFileAppender>(
        "~/Documents/zarn.log", false, platform::current().fileSystem, platform::timeSource());
    ScopedListener scoped(file);
    LogInfo("Num", "%f %.2f %@ %g", 1.5, 2.25, 0.5, 1e-3);
    EXPECT_EQ(env.console->lines(), (std::vector<std::string>{"INFO|Num| 1.500000 2.25 0.5 0.001"}));
    EXPECT_NE(file->getLogContents().find("|INFO|Num| 1.500000 2.25 0.5 0.001\n"), std::string::npos);
    std::string other;
    std::thread([&] { other = format("%f", 3.75); }).join();
    EXPECT_EQ(other, "3.750000");
}

// The file appender.

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct StampCase {
    long offset;
    double advance;
    const char* stamp;
};

class LogFileStampTest : public ::testing::TestWithParam<StampCase> {};

TEST_P(LogFileStampTest, LinesCarryTheLocalTimeToTheMillisecond) {
    test::TestEnvironment env(GetParam().offset);  // starts 2026-12-01 12:00:00 UTC
    env.advanceBy(GetParam().advance);
    ZarnPLogFileAppender appender("~/Documents/zarn.log", false, env.fileSystem, env.time);
    appender.didLogMessage("hello", ZarnPLogLevelInfo, "Module");
    EXPECT_EQ(readFile(env.path("Documents/zarn.log")),
              std::string(GetParam().stamp) + "|INFO|Module| hello\n");
}

INSTANTIATE_TEST_SUITE_P(Zones, LogFileStampTest,
                         ::testing::Values(StampCase{0, 0, "01-12 12:00:00.000"},
                                           StampCase{3600, 9.123, "01-12 13:00:09.123"},
                                           StampCase{7200, 0.999, "01-12 14:00:00.999"},
                                           StampCase{-46800, 0.5, "30-11 23:00:00.500"},
                                           StampCase{43200, 59.001, "02-12 00:00:59.001"}),
                         [](const auto& info) {
                             return test::caseName("Offset", info.param.offset, "After", info.param.advance);
                         });

TEST(LogFileAppenderTest, CreatesTheFileUnderTheHomeAndAppendsEveryLevel) {
    test::TestEnvironment env(3600);
    std::string path = env.path("Documents/zarn.log");
    ASSERT_FALSE(std::filesystem::exists(path));
    auto appender = std::make_shared<ZarnPLogFileAppender>(
        "~/Documents/zarn.log", platform::current().fileSystem, platform::timeSource());
    EXPECT_EQ(appender->fileName(), "~/Documents/zarn.log");
    EXPECT_FALSE(appender->clearOnStart());
    ScopedListener scoped(appender);
    LogDebug("Module", "Zarn started > %@", "3.0.0-beta-DEBUG");
    LogWarn("Network", "retry %d of %d", 1, 3);
    EXPECT_EQ(readFile(path),
              "01-12 13:00:00.000|DEBUG|Module| Zarn started > 3.0.0-beta-DEBUG\n"
              "01-12 13:00:00.000|WARN|Network| retry 1 of 3\n");
    EXPECT_EQ(appender->getLogContents(), readFile(path));
    EXPECT_EQ(appender->getLogContentsTail(7), "1 of 3\n");
    EXPECT_EQ(appender->getLogContentsTail(0), readFile(path));
    EXPECT_EQ(appender->getLogContentsTail(100000), readFile(path));
}

TEST(LogFileAppenderTest, UnopenableFileLosesTheLineWithAConsoleNote) {
    test::TestEnvironment env;
    std::string path = env.path("Documents/zarn.log");
    std::filesystem::create_directories(path);  // a folder where the file should be
    ZarnPLogFileAppender appender("~/Documents/zarn.log", false, env.fileSystem, env.time);
    appender.didLogMessage("lost", ZarnPLogLevelError, "Module");
    EXPECT_EQ(env.console->lines(),
              (std::vector<std::string>{"LoggerFileAppender: Error opening log file: " + path}));
}

TEST(LogFileAppenderTest, ClearLogEmptiesTheFile) {
    test::TestEnvironment env;
    ZarnPLogFileAppender appender("~/Documents/zarn.log", false, env.fileSystem, env.time);
    appender.didLogMessage("one", ZarnPLogLevelInfo, "A");
    appender.didLogMessage("two", ZarnPLogLevelInfo, "A");
    appender.clearLog();
    EXPECT_TRUE(std::filesystem::exists(env.path("Documents/zarn.log")));
    EXPECT_EQ(readFile(env.path("Documents/zarn.log")), "");
    appender.didLogMessage("three", ZarnPLogLevelInfo, "A");
    EXPECT_EQ(readFile(env.path("Documents/zarn.log")), "01-12 12:00:00.000|INFO|A| three\n");
    EXPECT_TRUE(env.console->lines().empty());
}

TEST(LogFileAppenderTest, PastTheCapTheFileRollsToOnePreviousFile) {
    test::TestEnvironment env;
    std::string path = env.path("Documents/zarn.log");
    const std::string nearlyFull(ZarnPLogFileAppender::kMaxFileBytes - 10, 'x');
    ASSERT_TRUE(env.fileSystem->createFile(path, nearlyFull));
    ASSERT_TRUE(env.fileSystem->createFile(path + ".1", "oldest"));
    ZarnPLogFileAppender appender("~/Documents/zarn.log", false, env.fileSystem, env.time);
    appender.didLogMessage("one", ZarnPLogLevelInfo, "A");
    EXPECT_EQ(readFile(path), "01-12 12:00:00.000|INFO|A| one\n");
    EXPECT_EQ(readFile(path + ".1"), nearlyFull);
    appender.didLogMessage("two", ZarnPLogLevelInfo, "A");
    EXPECT_EQ(appender.getLogContents(), "01-12 12:00:00.000|INFO|A| one\n01-12 12:00:00.000|INFO|A| two\n");
    // Filling the new file rolls again; the file never passes the cap.
    const std::string chunk(100000, 'y');
    for (int i = 0; i < 50; ++i) {
        appender.didLogMessage(chunk, ZarnPLogLevelInfo, "A");
        ASSERT_LE(*env.fileSystem->fileSize(path), ZarnPLogFileAppender::kMaxFileBytes);
    }
    EXPECT_NE(readFile(path + ".1").find(chunk), std::string::npos);
    EXPECT_TRUE(env.console->lines().empty());
}

// A pushed payload, an app's value or an event's extras may be any size; a log line may not. Each
// value is cut at 4096 bytes on a character boundary and marked, and no line outgrows the file.
TEST(LogFileAppenderTest, EveryValueOfALineIsCutAndNoLineOutgrowsTheFile) {
    test::TestEnvironment env;
    std::string path = env.path("Documents/zarn.log");
    auto appender =
        std::make_shared<ZarnPLogFileAppender>("~/Documents/zarn.log", false, env.fileSystem, env.time);
    auto listener = std::make_shared<RecordingListener>();
    ScopedListener scopedFile(appender);
    ScopedListener scopedListener(listener);
    const std::string mark = "...[cut]";
    const std::string huge(5 << 20, 'x');
    std::string accents = "a";
    for (int i = 0; i < 3000; ++i) accents += "\xC3\xA9";  // an odd cut would split a character

    Value payload = {{"aps", {{"badge", 1}}}, {"zarn_v2", huge}};
    Value manyKeys = Value::object();
    for (int i = 0; i < 20000; ++i) manyKeys["key" + std::to_string(i)] = i;
    LogDebug("GCMClient", "Notification received: %@", payload);
    LogDebug("EventService", "Logging event: %@ Data: %@", "heartbeat", manyKeys);
    LogDebug("SegmentationService", "Setting %@ = %@", "s_name", accents);
    const Error error{"D", 1, huge};
    LogNsError("Store", error, "Could not save %@", std::vector<std::string>(2000, "ab"));
    LogInfo("Short", "kept %@ %@", Value{{"a", "b"}}, std::string(4096, 'y'));

    auto lines = listener->lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].message, "Notification received: " + payload.dump().substr(0, 4096) + mark);
    EXPECT_EQ(lines[1].message, "Logging event: heartbeat Data: " + manyKeys.dump().substr(0, 4096) + mark);
    EXPECT_EQ(lines[2].message, "Setting s_name = " + accents.substr(0, 4095) + mark);
    std::string list = describe(std::vector<std::string>(2000, "ab"));
    EXPECT_EQ(lines[3].message, "Could not save " + list.substr(0, 4096) + mark + " - " +
                                    error.description().substr(0, 4096) + mark);
    EXPECT_EQ(lines[4].message, R"(kept {"a":"b"} )" + std::string(4096, 'y'));
    EXPECT_LT(*env.fileSystem->fileSize(path), 30000u);

    // A line handed to the file directly still fits in it.
    appender->didLogMessage(huge, ZarnPLogLevelInfo, "Direct");
    EXPECT_LE(*env.fileSystem->fileSize(path), ZarnPLogFileAppender::kMaxFileBytes);
    std::string contents = readFile(path);
    EXPECT_EQ(contents.substr(contents.size() - mark.size() - 1), mark + "\n");
}

TEST(LogFileAppenderTest, ClearOnStartComesFromTheListenerProperty) {
    test::TestEnvironment env;
    std::string path = env.path("Documents/zarn.log");
    ZarnPLogFileAppender("~/Documents/zarn.log", env.fileSystem, env.time)
        .didLogMessage("kept", ZarnPLogLevelInfo, "A");
    {
        ZarnPLogFileAppender unset("~/Documents/zarn.log", env.fileSystem, env.time);
        EXPECT_FALSE(unset.clearOnStart());
        EXPECT_NE(readFile(path).find("kept"), std::string::npos);
    }
    ZarnPLogger::instance().setListenerPropertyValue(Value(true), "LogFileAppender.clearOnStart");
    ZarnPLogFileAppender clearing("~/Documents/zarn.log", env.fileSystem, env.time);
    ZarnPLogger::instance().setListenerPropertyValue(Value(false), "LogFileAppender.clearOnStart");
    EXPECT_TRUE(clearing.clearOnStart());
    EXPECT_EQ(readFile(path), "");
}

// Files whose removal fails, to see clearLog's report.
class UnremovableFileSystem final : public test::ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;
    std::optional<std::string> removeItem(const std::string&) override {
        return std::string("Operation not permitted");
    }
};

TEST(LogFileAppenderTest, FailedRemovalIsLoggedAndAnEmptyFileIsCreatedAnyway) {
    test::TestEnvironment env;
    auto reporter = std::make_shared<sim::RecordingCrashReporter>();
    installCrashReporter(reporter);
    auto fs = std::make_shared<UnremovableFileSystem>(env.fileSystem);
    auto appender =
        std::make_shared<ZarnPLogFileAppender>("~/Documents/zarn.log", false, fs, platform::timeSource());
    ScopedListener scoped(appender);
    appender->didLogMessage("old", ZarnPLogLevelInfo, "A");
    appender->clearLog();
    std::string path = env.path("Documents/zarn.log");
    ASSERT_EQ(env.console->lines().size(), 1u);
    EXPECT_EQ(
        env.console->lines()[0].rfind("ERROR|LogFileAppender| Error removing log file " + path + " - ", 0),
        0u)
        << env.console->lines()[0];
    EXPECT_NE(env.console->lines()[0].find("Operation not permitted"), std::string::npos);
    EXPECT_EQ(reporter->errors().size(), 1u);
    // The report itself is the only line in the emptied file.
    std::string contents = readFile(path);
    EXPECT_EQ(contents.find("old"), std::string::npos);
    EXPECT_NE(contents.find("|ERROR|LogFileAppender| Error removing log file "), std::string::npos);
}

TEST(LogFileAppenderTest, LinesFromManyThreadsStayWhole) {
    test::TestEnvironment env;
    auto appender = std::make_shared<ZarnPLogFileAppender>(
        "~/Documents/zarn.log", false, platform::current().fileSystem, platform::timeSource());
    constexpr int kThreads = 4, kEach = 100;
    std::latch go(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            go.arrive_and_wait();
            for (int i = 0; i < kEach; ++i)
                appender->didLogMessage(format("thread %d line %d %@", t, i, std::string(200, 'x')), 3,
                                        "Load");
        });
    for (auto& t : threads) t.join();
    std::istringstream in(readFile(env.path("Documents/zarn.log")));
    std::regex whole(R"(01-12 12:00:00\.000\|INFO\|Load\| thread \d line \d+ x{200})");
    int count = 0;
    for (std::string line; std::getline(in, line); ++count)
        ASSERT_TRUE(std::regex_match(line, whole)) << line;
    EXPECT_EQ(count, kThreads * kEach);
}

// The crash-reporting bridge.

TEST(CrashReportingBridgeTest, WithoutAReporterEveryCallGoesNowhere) {
    test::TestEnvironment env;
    EXPECT_EQ(ZarnPCrashlyticsStubs::sharedInstance(), nullptr);
    ZarnPCrashlyticsStubs::setUserIdentifier("device-1");
    ZarnPCrashlyticsStubs::recordError(Error{"D", 1, "m"});
    LogNsError("Module", Error{"D", 2, "still logged"}, "failed");
    EXPECT_EQ(env.console->lines(),
              (std::vector<std::string>{"ERROR|Module| failed - Error Domain=D Code=2 \"still logged\""}));
}

TEST(CrashReportingBridgeTest, WithAReporterBothCallsReachIt) {
    test::TestEnvironment env;
    auto reporter = std::make_shared<sim::RecordingCrashReporter>();
    installCrashReporter(reporter);
    EXPECT_EQ(ZarnPCrashlyticsStubs::sharedInstance(), reporter);
    ZarnPCrashlyticsStubs::setUserIdentifier("3F2504E0-4F89-11D3-9A0C-0305E82C3301");
    ZarnPCrashlyticsStubs::recordError(Error{"NSURLErrorDomain", -1001, "timed out"});
    EXPECT_EQ(reporter->userIdentifier(), "3F2504E0-4F89-11D3-9A0C-0305E82C3301");
    EXPECT_EQ(reporter->errors(), (std::vector<Error>{{"NSURLErrorDomain", -1001, "timed out"}}));
}

}  // namespace
}  // namespace zarn
