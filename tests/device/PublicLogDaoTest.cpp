#include "device/ZarnPSystemPublicLogDao.h"

#include <gtest/gtest.h>

#include <atomic>

#include <algorithm>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include <unistd.h>

#include "core/ZarnPContext.h"
#include "core/ZarnPGzipHelper.h"
#include "core/ZarnPLocationWithAccuracy.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnTriggerContext.h"
#include "device/ZarnPBaseKeyValueDao.h"
#include "device/ZarnPDelegateDataDao.h"
#include "device/ZarnPSystemDeviceDataDao.h"
#include "sim/Device.h"
#include "tests/device/MemoryStringKeyValueDao.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/ZarnDelegate.h"

namespace zarn {
namespace {

constexpr double kHour = 3600.0;
constexpr double kDay = 86400.0;

// A clock the test sets, also backwards.
class ManualClock final : public ZarnPClockDao {
  public:
    explicit ManualClock(double t) : t_(t) {}
    Date now() override {
        std::lock_guard lk(mutex_);
        return dateWithTimeIntervalSince1970(t_);
    }
    int64_t nowWithTimeZoneOffsetMilliseconds() override { return 0; }
    void set(double t) {
        std::lock_guard lk(mutex_);
        t_ = t;
    }

  private:
    std::mutex mutex_;
    double t_;
};

class PublicLogDaoTest : public ::testing::Test {
  protected:
    // Central European winter time: 2026-12-01 12:00 UTC is 13:00 local.
    test::TestEnvironment env{3600};
    std::shared_ptr<ZarnPSystemTimerDao> timer = std::make_shared<ZarnPSystemTimerDao>(
        platform::timeSource(), platform::mainRunLoop(), platform::current().application);
    std::shared_ptr<ZarnPBaseKeyValueDao> settings =
        std::make_shared<ZarnPBaseKeyValueDao>(std::make_shared<test::MemoryStringKeyValueDao>());
    std::shared_ptr<ZarnDelegate> delegate = std::make_shared<ZarnDelegate>();
    std::shared_ptr<ZarnPSystemClockDao> clock =
        std::make_shared<ZarnPSystemClockDao>(platform::timeSource());
    // What the enabled query answers for the export header.
    std::shared_ptr<std::atomic<bool>> libraryEnabled = std::make_shared<std::atomic<bool>>(true);
    std::shared_ptr<ZarnPSystemPublicLogDao> dao = make(clock);
    std::shared_ptr<ZarnPContext> context = std::make_shared<ZarnPContext>(
        ZarnTriggerContextGeofence, std::nullopt, platform::timeSource()->now());

    std::shared_ptr<ZarnPSystemPublicLogDao> make(std::shared_ptr<ZarnPClockDao> c) {
        auto d = std::make_shared<ZarnPSystemPublicLogDao>(
            std::move(c), std::make_shared<ZarnPSystemDeviceDataDao>(settings, timer, platform::current()),
            std::make_shared<ZarnPDelegateDataDao>(delegate), env.fileSystem, env.time,
            [enabled = libraryEnabled] { return enabled->load(); });
        return d;
    }

    std::string dayFile(const std::string& day) { return env.path("Documents/zarndebug-" + day + ".log"); }
    std::string read(const std::string& path) {
        return env.fileSystem->readFile(path, SIZE_MAX).value_or("(missing)");
    }
    void advanceTo(double utcSecondsAfterStart) {
        double now = timeIntervalSince1970(env.time->now()) - test::TestEnvironment::kStart;
        env.advanceBy(utcSecondsAfterStart - now);
    }
    std::set<std::string> logFiles() {
        std::set<std::string> out;
        for (auto& n : env.fileSystem->contentsOfDirectory(env.path("Documents")))
            if (n.starts_with("zarndebug-"))
                out.insert(n);
        return out;
    }
    // The export, decompressed.
    std::string exportText() {
        std::optional<std::optional<std::vector<uint8_t>>> answer;
        bool onSdkThread = false;
        dao->getLogFileData([&](std::optional<std::vector<uint8_t>> data) {
            onSdkThread = timer->isRunThread();
            answer = std::move(data);
        });
        env.runUntilIdle();
        EXPECT_TRUE(answer.has_value());
        EXPECT_TRUE(onSdkThread);
        if (!answer || !*answer)
            return "(no data)";
        auto plain = ZarnPGzipHelper::gzipInflate(std::span<const uint8_t>(**answer));
        if (!plain)
            return "(not gzip)";
        return std::string(plain->begin(), plain->end());
    }
};

TEST_F(PublicLogDaoTest, ALineGoesToTheDayFileTheConsoleAndTheContext) {
    dao->setEnabled(true);
    dao->logZarnEnabled(true, context);
    const std::string line = "2026-12-01 13:00:00 +0100: Zarn enabled\n";
    EXPECT_EQ(read(dayFile("2026-12-01")), line);
    EXPECT_TRUE(env.consoleContains("Zarn| Zarn enabled"));
    EXPECT_EQ(context->collectedLog(), line);

    env.advanceBy(61.5);
    dao->logFailedDataUpdate(context);
    EXPECT_EQ(read(dayFile("2026-12-01")),
              line + "2026-12-01 13:01:01 +0100: Failed to update notifications.\n");
}

TEST_F(PublicLogDaoTest, WhileOffOnlyTheUnconditionalFormWrites) {
    dao->logZarnEnabled(false, context);
    dao->logMessageIfEnabled(context, "Ignoring empty response");
    dao->keepLogFileOpen();
    EXPECT_TRUE(logFiles().empty());
    EXPECT_EQ(context->collectedLog(), "");
    EXPECT_FALSE(env.consoleContains("Zarn|"));

    dao->logMessage(context, "raw %d", 7);
    EXPECT_EQ(read(dayFile("2026-12-01")), "2026-12-01 13:00:00 +0100: raw 7\n");
}

TEST_F(PublicLogDaoTest, DayFilesFollowLocalMidnight) {
    dao->setEnabled(true);
    advanceTo(11 * kHour - 1);  // 23:59:59 local
    dao->logScreenTransition("a", context);
    advanceTo(11 * kHour + 1);  // 00:00:01 local, still 23:00:01 UTC
    dao->logScreenTransition("b", context);
    EXPECT_EQ(read(dayFile("2026-12-01")), "2026-12-01 23:59:59 +0100: Registering screen transition: a\n");
    EXPECT_EQ(read(dayFile("2026-12-02")), "2026-12-02 00:00:01 +0100: Registering screen transition: b\n");
}

TEST_F(PublicLogDaoTest, AKeptFileTakesTheLinesOfARunPastMidnight) {
    dao->setEnabled(true);
    advanceTo(11 * kHour - 60);
    dao->keepLogFileOpen();
    dao->logMessageIfEnabled(context, "before");
    advanceTo(11 * kHour + 60);
    dao->logMessageIfEnabled(context, "after");
    dao->stopKeepingLogFileOpen();
    dao->logMessageIfEnabled(context, "next run");
    EXPECT_EQ(read(dayFile("2026-12-01")),
              "2026-12-01 23:59:00 +0100: before\n2026-12-02 00:01:00 +0100: after\n");
    EXPECT_EQ(read(dayFile("2026-12-02")), "2026-12-02 00:01:00 +0100: next run\n");
}

// Files for the ten days up to `lastDay`, and two files that are not day files.
void seedTenDays(test::TestEnvironment& env, ZarnPSystemPublicLogDao& dao, double lastDayNoonUtc) {
    for (int i = 0; i < 10; ++i) {
        std::string name = dao.getFileNameForDate(dateWithTimeIntervalSince1970(lastDayNoonUtc - i * kDay));
        env.fileSystem->createFile(env.path("Documents/" + name), name + "\n");
    }
    env.fileSystem->createFile(env.path("Documents/notes.txt"), "keep");
    env.fileSystem->createFile(env.path("Documents/zarndebug-old.txt"), "keep");
}

TEST_F(PublicLogDaoTest, PurgeKeepsTodayAndTheSixDaysBefore) {
    seedTenDays(env, *dao, test::TestEnvironment::kStart);
    dao->purgeOldFiles();
    EXPECT_EQ(logFiles(), (std::set<std::string>{"zarndebug-2026-11-25.log", "zarndebug-2026-11-26.log",
                                                 "zarndebug-2026-11-27.log", "zarndebug-2026-11-28.log",
                                                 "zarndebug-2026-11-29.log", "zarndebug-2026-11-30.log",
                                                 "zarndebug-2026-12-01.log", "zarndebug-old.txt"}));
    EXPECT_TRUE(env.fileSystem->fileExists(env.path("Documents/notes.txt")));
    EXPECT_TRUE(
        env.consoleContains("DEBUG|ZarnPSystemPublicLogDao| Removing file: " + dayFile("2026-11-22")));
    EXPECT_EQ(env.consoleCount("Removing file: "), 3);
}

TEST_F(PublicLogDaoTest, PurgeRemovesOnlyRegularFiles) {
    seedTenDays(env, *dao, test::TestEnvironment::kStart);
    // A folder and a link that carry the name of an old day file are not ours to delete.
    std::string folder = dayFile("2026-11-01");
    ASSERT_TRUE(env.fileSystem->createDirectory(folder, false));
    ASSERT_TRUE(env.fileSystem->createFile(folder + "/inside.txt", "keep"));
    std::string target = env.path("precious.txt");
    ASSERT_TRUE(env.fileSystem->createFile(target, "keep"));
    ASSERT_EQ(::symlink(target.c_str(), dayFile("2026-11-02").c_str()), 0);
    dao->purgeOldFiles();
    EXPECT_EQ(read(folder + "/inside.txt"), "keep");
    EXPECT_TRUE(env.fileSystem->fileExists(dayFile("2026-11-02")));
    EXPECT_EQ(read(target), "keep");
    EXPECT_FALSE(env.fileSystem->fileExists(dayFile("2026-11-22")));
    EXPECT_EQ(env.consoleCount("Removing file: "), 3);
}

// A 23-hour day (clocks go forward) and a 25-hour day (clocks go back) on 2026-12-02, local
// time. Whatever the length of the days, the purge and the export cover the last seven
// calendar days.
struct DstCase {
    const char* name;
    long before, after;
};
void PrintTo(const DstCase& c, std::ostream* os) {
    *os << c.name;
}

class PublicLogDstTest : public PublicLogDaoTest, public ::testing::WithParamInterface<DstCase> {};

TEST_P(PublicLogDstTest, DaysAreCalendarDaysOfTheDeviceZone) {
    const auto c = GetParam();
    // The change happens at 2026-12-02 01:00 UTC.
    const double change = test::TestEnvironment::kStart + 13 * kHour;
    env.time->setTimeZoneRule(
        [c, change](Date d) { return timeIntervalSince1970(d) < change ? c.before : c.after; });
    dao->setEnabled(true);

    // 00:30 on 2026-12-03, local.
    const double target = 24 * kHour + 12 * kHour + 0.5 * kHour - static_cast<double>(c.after);
    seedTenDays(env, *dao, test::TestEnvironment::kStart + 2 * kDay);
    advanceTo(target);
    ASSERT_EQ(dao->getFileNameForDate(env.time->now()), "zarndebug-2026-12-03.log");
    dao->logMessageIfEnabled(context, "after the change");

    EXPECT_EQ(logFiles(), (std::set<std::string>{"zarndebug-2026-11-27.log", "zarndebug-2026-11-28.log",
                                                 "zarndebug-2026-11-29.log", "zarndebug-2026-11-30.log",
                                                 "zarndebug-2026-12-01.log", "zarndebug-2026-12-02.log",
                                                 "zarndebug-2026-12-03.log", "zarndebug-old.txt"}));
    std::string exported = exportText();
    auto at = [&](const char* day) { return exported.find(std::string("zarndebug-") + day + ".log\n"); };
    EXPECT_NE(at("2026-12-02"), std::string::npos) << "the day of the change is exported";
    EXPECT_LT(at("2026-11-27"), at("2026-12-02")) << "oldest first";
    EXPECT_EQ(at("2026-11-26"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Changes, PublicLogDstTest,
                         ::testing::Values(DstCase{"Forward", 3600, 7200}, DstCase{"Back", 7200, 3600}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PublicLogDaoTest, EntryTimesShowTheOffsetInForceAtTheirMoment) {
    const double change = test::TestEnvironment::kStart + 13 * kHour;
    env.time->setTimeZoneRule([change](Date d) { return timeIntervalSince1970(d) < change ? 3600L : 7200L; });
    dao->setEnabled(true);
    advanceTo(11.5 * kHour);  // 00:30 local, +0100
    dao->logMessageIfEnabled(context, "one");
    advanceTo(14 * kHour);  // 04:00 local, +0200
    dao->logMessageIfEnabled(context, "two");
    EXPECT_EQ(read(dayFile("2026-12-02")),
              "2026-12-02 00:30:00 +0100: one\n2026-12-02 04:00:00 +0200: two\n");
}

TEST_F(PublicLogDaoTest, PurgeRunsAtMostHourlyAndAgainAfterTheClockGoesBack) {
    auto manual = std::make_shared<ManualClock>(test::TestEnvironment::kStart);
    dao = make(manual);
    dao->setEnabled(true);
    dao->logMessageIfEnabled(context, "first");  // purges
    const std::string stale = env.path("Documents/zarndebug-2020-01-01.log");
    env.fileSystem->createFile(stale, "x");

    manual->set(test::TestEnvironment::kStart + 59 * 60);
    dao->logMessageIfEnabled(context, "within the hour");
    EXPECT_TRUE(env.fileSystem->fileExists(stale));

    manual->set(test::TestEnvironment::kStart + 61 * 60);
    dao->logMessageIfEnabled(context, "an hour later");
    EXPECT_FALSE(env.fileSystem->fileExists(stale));

    env.fileSystem->createFile(stale, "x");
    manual->set(test::TestEnvironment::kStart - 2 * kHour);  // set back by more than an hour
    dao->logMessageIfEnabled(context, "back in time");
    EXPECT_FALSE(env.fileSystem->fileExists(stale));
}

TEST_F(PublicLogDaoTest, AFileThatCannotBeOpenedStillLeavesTheConsoleAndContextLine) {
    ASSERT_TRUE(env.fileSystem->createFile(env.path("Documents"), "a file, not a folder"));
    dao->setEnabled(true);
    dao->logNotificationCooldown(context);
    EXPECT_TRUE(
        env.consoleContains("DEBUG|ZarnPSystemPublicLogDao| LoggerFileAppender: Error opening log file: " +
                            dayFile("2026-12-01")));
    EXPECT_TRUE(env.consoleContains("Zarn| Not showing all notifications because of cooldown period in app"));
    EXPECT_EQ(context->collectedLog(),
              "2026-12-01 13:00:00 +0100: Not showing all notifications because of cooldown period in app\n");
}

TEST(PublicLogShortMessageTest, CutsAfterFifteenUtf16UnitsWithoutSplittingACharacter) {
    const std::string grin = "\xF0\x9F\x98\x80";  // two UTF-16 units
    const std::string e = "\xC3\xA9";             // one unit, two bytes
    auto times = [](const std::string& s, int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += s;
        return out;
    };
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {"abcdefghijklmnopqrstuvwxyz", "abcdefghijklmno..."},
        {"abcde", "abcde"},
        {"abcdefghijklmno", "abcdefghijklmno"},
        {"abcdefghijklmnop", "abcdefghijklmno..."},
        {std::nullopt, ""},
        {times(e, 20), times(e, 15) + "..."},
        {times(e, 15), times(e, 15)},
        {"abcdefghijklmn" + grin + "xyz", "abcdefghijklmn..."},  // the pair would straddle the cut
        {"abcdefghijklm" + grin + "xyz", "abcdefghijklm" + grin + "..."},
        {times(grin, 7) + "a", times(grin, 7) + "a"},  // exactly 15 units
        {times(grin, 8), times(grin, 7) + "..."},
        {"abcdefghijklmn\xFF"
         "defg",
         "abcdefghijklmn\xEF\xBF\xBD..."},  // a stray byte counts once
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(ZarnPSystemPublicLogDao::getShortMessage(in), out) << in.value_or("nil");
}

// Counts the UTF-16 units of valid UTF-8 text; -1 when the text is not valid UTF-8.
int utf16Units(const std::string& s) {
    int units = 0;
    for (size_t i = 0; i < s.size();) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        size_t n = b < 0x80             ? 1
                   : (b & 0xE0) == 0xC0 ? 2
                   : (b & 0xF0) == 0xE0 ? 3
                   : (b & 0xF8) == 0xF0 ? 4
                                        : 0;
        if (n == 0 || i + n > s.size())
            return -1;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return -1;
        units += n == 4 ? 2 : 1;
        i += n;
    }
    return units;
}

TEST(PublicLogShortMessageTest, RandomBytesAlwaysGiveWholeCharacters) {
    std::mt19937 random(99);
    const std::string pieces[] = {"a",    "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
                                  "\xFF", "\x80",     "\xF0\x9F"};
    for (int round = 0; round < 5000; ++round) {
        std::string in;
        int n = static_cast<int>(random() % 24);
        for (int i = 0; i < n; ++i) in += pieces[random() % std::size(pieces)];
        std::string out = ZarnPSystemPublicLogDao::getShortMessage(in);
        if (out == in)
            continue;
        ASSERT_TRUE(out.ends_with("...")) << in;
        int units = utf16Units(out.substr(0, out.size() - 3));
        ASSERT_GE(units, 14) << in;  // at most one unit short, when a pair would be split
        ASSERT_LE(units, 15) << in;
    }
}

TEST(PublicLogWordsTest, SmallConversions) {
    EXPECT_EQ(ZarnPSystemPublicLogDao::boolToString(true), "yes");
    EXPECT_EQ(ZarnPSystemPublicLogDao::boolToString(false), "no");
    EXPECT_EQ(ZarnPSystemPublicLogDao::boolToEnabled(true), "enabled");
    EXPECT_EQ(ZarnPSystemPublicLogDao::boolToEnabled(false), "disabled");
    EXPECT_EQ(ZarnPSystemPublicLogDao::nilToEmptyString(std::nullopt), "");
    const std::pair<int, const char*> statuses[] = {{0, "undetermined"}, {1, "denied"},
                                                    {2, "authorized"},   {3, "provisional"},
                                                    {-1, "provisional"}, {9, "provisional"}};
    for (auto [n, word] : statuses)
        EXPECT_EQ(ZarnPSystemPublicLogDao::intToAuthorizationStatus(n), word) << n;
}

TEST_F(PublicLogDaoTest, EventLines) {
    using D = ZarnPSystemPublicLogDao;
    const std::string longText = "A very long notification message";
    const std::pair<std::function<void(D&)>, std::string> cases[] = {
        {[&](D& d) { d.logZarnEnabled(false, context); }, "Zarn disabled"},
        {[&](D& d) { d.logOfferNotificationCount(3, context); },
         "Offered notifications to notification filter (3 total)"},
        {[&](D& d) { d.logOfferGeotriggerCount(2, context); },
         "Offered geotriggers to the geotrigger handler (2 total)"},
        {[&](D& d) { d.logPassedNotificationCount(1, context); }, "Notification filter completed (1 passed)"},
        {[&](D& d) { d.logPassedGeotriggerCount(0, context); }, "Geotrigger handler completed (0 passed)"},
        {[&](D& d) { d.logSingleNotificationCooldown("n1", context); },
         "Not showing notification or geotrigger (n1) due to cooldown"},
        {[&](D& d) { d.logNotificationDistance("n1", longText, 150, 212.6, true, context); },
         "Distance to n1 - A very long not...: 213 (range: 150)"},
        {[&](D& d) { d.logNotificationDistance("n1", "Hi", 150, 99.4, false, context); },
         "Distance to n1 - Hi: 99 (range: 150) (location update too inaccurate)"},
        {[&](D& d) {
             d.logLocationAcquired(ZarnPLocationWithAccuracy::locationLat(52.37, 4.89, 65), context);
         },
         "Acquired location: 52.370000,4.890000 (accuracy 65.000000 meter)"},
        {[&](D& d) { d.logLocationAcquired(nullptr, context); },
         "Failed to obtain your current location. To make sure that it is possible to receive a location "
         "enable "
         "WIFI, enable location services and ensure an internet connection is available."},
        {[&](D& d) { d.logUserOptOutForNotification(context); },
         "User has opt-out for receiving notifications from this app."},
        {[&](D& d) { d.logUserHasToLeaveFirst("n2", longText, context); },
         "User first has to leave area of n2 - A very long not..."},
        {[&](D& d) { d.logNotificationSent("n3", std::nullopt, context); }, "Showing notification: n3 - "},
        {[&](D& d) { d.logNotificationOpened("n3", "Open me", context); },
         "Opening notification: n3 - Open me"},
        {[&](D& d) { d.logGeotriggerSent("g1", longText, context); },
         "Geotrigger sent: g1 - A very long not..."},
        {[&](D& d) { d.logGeotriggerHandled("g1", "Shop", context); }, "Geotrigger handled: g1 - Shop"},
        {[&](D& d) { d.logSegmentationChanged(context); },
         "Removing all loaded notifications and geotriggers because segmentation property has changed."},
        {[&](D& d) { d.logSegmentationCreatedFor("s_city", "Delft", context); },
         "Segmentation set for property s_city with value Delft"},
        {[&](D& d) { d.logFailedToObtainCurrentLocationFor("external region", context); },
         "Failed to check for external region trigger: current location unknown."},
        {[&](D& d) { d.logOfferingExternalRegionsCount(4, context); }, "Offering 4 external notifications"},
        {[&](D& d) {
             d.logRangedBeacons({{"B9407F30-F5F8-466E-AFF9-25556B57FE6D", 1, 2}, {"U2", 3, 4}}, context);
         },
         "Triggered beacons:[UUID:B9407F30-F5F8-466E-AFF9-25556B57FE6D major:1 minor:2,UUID:U2 major:3 "
         "minor:4]"},
        {[&](D& d) { d.logRangedBeacons({}, context); }, "Triggered beacons:[]"},
        {[&](D& d) { d.logScreenTransition("Checkout", context); },
         "Registering screen transition: Checkout"},
    };
    dao->setEnabled(true);
    for (const auto& [act, line] : cases) {
        context->setCollectedLog(std::string());
        act(*dao);
        EXPECT_EQ(context->collectedLog(), "2026-12-01 13:00:00 +0100: " + line + "\n");
    }
}

TEST_F(PublicLogDaoTest, DataIsNeverAFormat) {
    dao->setEnabled(true);
    dao->logScreenTransition("%s%n%@%d", context);
    dao->logSegmentationCreatedFor("%@", "%%", context);
    EXPECT_EQ(context->collectedLog(),
              "2026-12-01 13:00:00 +0100: Registering screen transition: %s%n%@%d\n"
              "2026-12-01 13:00:00 +0100: Segmentation set for property %@ with value %%\n");
}

TEST_F(PublicLogDaoTest, ExportOfADeviceWithoutFilesIsTheHeaderAlone) {
    EXPECT_EQ(exportText(),
              "Zarn debug log - Phone information:\n"
              " zarn_status: enabled\n"
              " zarn_version: 3.0.0-beta-DEBUG\n"
              " location_services: enabled\n"
              " notification_state: enabled\n"
              " authorization_state: authorized\n"
              " app_name: Sample App\n"
              " app_version: 1.0\n"
              " platform: iOS\n"
              " platform_version: 16.4\n"
              " framework: native\n"
              " framework_version: \n"
              " hardware_manufacturer: Apple\n"
              " hardware_model: iPhone15,2\n"
              " has_notification_filter: no\n"
              " has_custom_notification_handler: no\n"
              " has_custom_geotrigger_handler: no\n"
              "---\n");
}

TEST_F(PublicLogDaoTest, ExportHeaderFollowsTheDeviceAndTheDelegate) {
    libraryEnabled->store(false);
    env.device->notificationAuthorization()->setNotificationAuthorizationStatus(
        platform::NotificationAuthorizationStatus::Provisional);
    env.device->locationAuthorization()->setLocationAuthorizationStatus(
        platform::LocationAuthorizationStatus::Denied);
    env.device->deviceHardware()->setMachine(std::nullopt);
    env.device->mainBundle()->setInfoValue("CFBundleDisplayName", std::nullopt);
    env.device->runtimeClasses()->addClass("CDVPlugin");
    delegate->zarnFilterNotifications = [](auto) {};
    delegate->zarnHandleGeotriggers = [](auto) {};
    std::string header = exportText();
    for (const char* line :
         {" zarn_status: disabled\n", " location_services: disabled\n", " notification_state: disabled\n",
          " authorization_state: provisional\n", " app_name: \n", " framework: cordova\n",
          " framework_version: unknown\n", " hardware_model: \n", " has_notification_filter: yes\n",
          " has_custom_notification_handler: no\n", " has_custom_geotrigger_handler: yes\n"})
        EXPECT_NE(header.find(line), std::string::npos) << line;
}

TEST_F(PublicLogDaoTest, ExportAppendsTheDayFilesOldestFirst) {
    dao->setEnabled(true);
    dao->logMessageIfEnabled(context, "day one");
    advanceTo(kDay);
    dao->logMessageIfEnabled(context, "day two");
    std::string text = exportText();
    auto body = text.substr(text.find("---\n") + 4);
    EXPECT_EQ(body, "2026-12-01 13:00:00 +0100: day one\n2026-12-02 13:00:00 +0100: day two\n");
}

TEST_F(PublicLogDaoTest, DayFilesAndTheirExportAreCapped) {
    constexpr size_t kCap = 2 * 1024 * 1024;
    dao->setEnabled(true);
    std::string today = dayFile("2026-12-01");
    const std::string nearlyFull(kCap - 5, 'x');
    ASSERT_TRUE(env.fileSystem->createFile(today, nearlyFull));
    dao->logMessageIfEnabled(context, "dropped one");
    dao->logMessageIfEnabled(context, "dropped two");
    EXPECT_EQ(read(today), nearlyFull);
    EXPECT_EQ(env.consoleCount("Debug log file full, dropping lines: " + today), 1);
    EXPECT_NE(context->collectedLog().value_or("").find("dropped two"), std::string::npos);
    // Files grown past the cap by someone else are read up to the cap only.
    for (const char* day : {"2026-11-26", "2026-11-27", "2026-11-28"})
        ASSERT_TRUE(env.fileSystem->createFile(dayFile(day), std::string(kCap + 4096, 'z')));
    std::string text = exportText();
    EXPECT_LE(text.size(), 4 * kCap + 4096);
    EXPECT_GE(text.size(), 4 * kCap - 5);
}

TEST_F(PublicLogDaoTest, LinesFromManyThreadsNeverInterleave) {
    dao->setEnabled(true);
    constexpr int kThreads = 4, kLines = 150;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            auto own = std::make_shared<ZarnPContext>(ZarnTriggerContextUserInitiated, std::nullopt,
                                                      platform::timeSource()->now());
            for (int i = 0; i < kLines; ++i) dao->logMessageIfEnabled(own, "thread %d line %d", t, i);
        });
    timer->invokeBlockOnRunLoop(
        [&] {
            dao->keepLogFileOpen();
            for (int i = 0; i < kLines; ++i) dao->logMessageIfEnabled(context, "sdk line %d", i);
            dao->stopKeepingLogFileOpen();
        },
        false);
    for (auto& t : threads) t.join();
    env.runUntilIdle();

    std::istringstream in(read(dayFile("2026-12-01")));
    std::string line;
    int count = 0;
    while (std::getline(in, line)) {
        ++count;
        EXPECT_TRUE(line.starts_with("2026-12-01 13:00:00 +0100: ")) << line;
        EXPECT_TRUE(line.find("line") != std::string::npos) << line;
    }
    EXPECT_EQ(count, (kThreads + 1) * kLines);
}

}  // namespace
}  // namespace zarn
