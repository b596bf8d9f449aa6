#include "device/ZarnPFileConfigDao.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "sim/Device.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/Value.h"
#include "zarn/ZarnConfiguration.h"

namespace zarn {
namespace {

// Every property the file can set, to compare configurations.
auto snapshot(const ZarnConfiguration& c) {
    return std::make_tuple(c.publicToken(), c.enableOnFirstRun(), c.maxRegionsMonitored(),
                           c.quickSyncDisabled(), c.enableBackgroundLocation(),
                           c.automaticallyAskLocationPermission(), c.automaticallyAskNotificationPermission(),
                           c.provisionalNotificationPermission());
}

class FileConfigDaoTest : public ::testing::Test {
  protected:
    test::TestEnvironment env;
    std::shared_ptr<ZarnConfiguration> config = ZarnConfiguration::create();
    ZarnPFileConfigDao dao{platform::current().libraryBundle, platform::current().mainBundle,
                           platform::current().fileSystem};

    FileConfigDaoTest() { config->setMaxRegionsMonitored(13); }

    // Writes `contents` to a file and lists it in `bundle` as `resource`.
    std::string ship(sim::SimBundle& bundle, const std::string& resource, const std::string& contents,
                     const std::string& fileName = "") {
        std::string path = env.path("bundle/" + (fileName.empty() ? resource : fileName));
        EXPECT_TRUE(env.fileSystem->createFile(path, contents));
        bundle.setResourcePath(resource, path);
        return path;
    }
    std::string ship(const std::string& contents) {
        return ship(*env.device->mainBundle(), "zarnconfig.json", contents);
    }

    // Applies `contents` and answers whether the configuration stayed as it was.
    bool leavesUnchanged(const std::string& contents) {
        ship(contents);
        auto before = snapshot(*config);
        dao.readConfigFromFile(config);
        return snapshot(*config) == before;
    }
};

TEST_F(FileConfigDaoTest, AppliesEveryRecognisedKey) {
    ship(R"({"publicToken":"abc","enableOnFirstRun":false,"maxRegionsMonitored":8,"quickSyncDisabled":true,
            "enableBackgroundLocation":0,"automaticallyAskLocationPermission":false,
            "automaticallyAskNotificationPermission":0,"provisionalNotificationPermission":1,"other":"ignored"})");
    dao.readConfigFromFile(config);
    EXPECT_EQ(config->publicToken(), "abc");
    EXPECT_FALSE(config->enableOnFirstRun());
    EXPECT_EQ(config->maxRegionsMonitored(), 8);
    EXPECT_TRUE(config->quickSyncDisabled());
    EXPECT_FALSE(config->enableBackgroundLocation());
    EXPECT_FALSE(config->automaticallyAskLocationPermission());
    EXPECT_FALSE(config->automaticallyAskNotificationPermission());
    EXPECT_TRUE(config->provisionalNotificationPermission());
}

TEST_F(FileConfigDaoTest, RegionLimitIsClampedAndTruncated) {
    const std::pair<const char*, int> cases[] = {{"-3", 0}, {"25", 20},    {"20", 20},  {"7.9", 7},
                                                 {"0", 0},  {"1e300", 20}, {"-0.5", 0}, {"5", 5}};
    for (auto [number, expected] : cases) {
        config->setMaxRegionsMonitored(13);
        ship(std::string(R"({"maxRegionsMonitored":)") + number + "}");
        dao.readConfigFromFile(config);
        EXPECT_EQ(config->maxRegionsMonitored(), expected) << number;
    }
}

TEST_F(FileConfigDaoTest, ValuesOfAnotherTypeAreIgnored) {
    EXPECT_TRUE(leavesUnchanged(R"({"enableOnFirstRun":"true"})"));
    EXPECT_TRUE(leavesUnchanged(R"({"maxRegionsMonitored":"7"})"));
    EXPECT_TRUE(leavesUnchanged(R"({"maxRegionsMonitored":true})"));
    EXPECT_TRUE(leavesUnchanged(R"({"publicToken":42})"));
    EXPECT_TRUE(leavesUnchanged(R"({"quickSyncDisabled":null})"));
    EXPECT_TRUE(leavesUnchanged(R"({"enableBackgroundLocation":[true]})"));
}

TEST_F(FileConfigDaoTest, AnArrayIsMalformed) {
    EXPECT_TRUE(leavesUnchanged(R"([{"publicToken":"abc"}])"));
    EXPECT_TRUE(env.consoleContains(
        "ERROR|ZarnPFileConfigDao| Failed to read zarn configuration from file. Content is malformed."));
}

TEST_F(FileConfigDaoTest, BadJsonIsLoggedWithItsError) {
    for (const char* text : {"{\"publicToken\":", "not json", "5", "", "{\"a\":1} trailing", "\xFF\xFE{}"}) {
        env.console->clear();
        EXPECT_TRUE(leavesUnchanged(text)) << text;
        EXPECT_TRUE(
            env.consoleContains("ERROR|ZarnPFileConfigDao| Failed to read zarn configuration from file. - "))
            << text;
    }
}

TEST_F(FileConfigDaoTest, HostileNestingIsRefusedNotRecursedInto) {
    EXPECT_TRUE(leavesUnchanged(std::string(100000, '[') + std::string(100000, ']')));
    EXPECT_TRUE(leavesUnchanged("{\"publicToken\":" + std::string(100000, '{')));
}

TEST_F(FileConfigDaoTest, OversizedFileIsNotRead) {
    std::string big =
        R"({"publicToken":"abc","pad":")" + std::string(ZarnPFileConfigDao::kMaxFileSize, 'x') + "\"}";
    EXPECT_TRUE(leavesUnchanged(big));
    EXPECT_TRUE(env.consoleContains("larger than 1048576 bytes"));
    // Just below the cap it is read.
    std::string fits = R"({"publicToken":"abc","pad":")";
    fits += std::string(ZarnPFileConfigDao::kMaxFileSize - fits.size() - 2, 'x') + "\"}";
    ASSERT_EQ(fits.size(), ZarnPFileConfigDao::kMaxFileSize);
    ship(fits);
    dao.readConfigFromFile(config);
    EXPECT_EQ(config->publicToken(), "abc");
}

TEST_F(FileConfigDaoTest, MissingOrUnreadableFileChangesNothing) {
    auto before = snapshot(*config);
    dao.readConfigFromFile(config);
    EXPECT_EQ(snapshot(*config), before);
    EXPECT_TRUE(env.consoleContains("DEBUG|ZarnPFileConfigDao| Unable to read (null)"));

    // Listed in the bundle, but not there.
    env.device->mainBundle()->setResourcePath("zarnconfig.json", env.path("bundle/gone.json"));
    dao.readConfigFromFile(config);
    EXPECT_EQ(snapshot(*config), before);
    EXPECT_TRUE(env.consoleContains("Unable to read " + env.path("bundle/gone.json")));

    // A directory where the file should be.
    ASSERT_TRUE(env.fileSystem->createDirectory(env.path("bundle/dir.json"), true));
    env.device->mainBundle()->setResourcePath("zarnconfig.json", env.path("bundle/dir.json"));
    dao.readConfigFromFile(config);
    EXPECT_EQ(snapshot(*config), before);

    dao.readConfigFromFile(nullptr);  // no configuration: nothing to do
}

TEST_F(FileConfigDaoTest, LibraryBundleWinsOverMainBundleAndPlainNameOverWww) {
    ship(*env.device->mainBundle(), "zarnconfig.json", R"({"publicToken":"main"})", "main.json");
    ship(*env.device->mainBundle(), "www/zarnconfig.json", R"({"publicToken":"main-www"})", "main-www.json");
    ship(*env.device->libraryBundle(), "www/zarnconfig.json", R"({"publicToken":"lib-www"})", "lib-www.json");
    ship(*env.device->libraryBundle(), "zarnconfig.json", R"({"publicToken":"lib"})", "lib.json");

    const std::pair<std::function<void()>, const char*> steps[] = {
        {[] {}, "lib"},
        {[&] { env.device->libraryBundle()->setResourcePath("zarnconfig.json", std::nullopt); }, "main"},
        {[&] { env.device->mainBundle()->setResourcePath("zarnconfig.json", std::nullopt); }, "lib-www"},
        {[&] { env.device->libraryBundle()->setResourcePath("www/zarnconfig.json", std::nullopt); },
         "main-www"},
    };
    for (const auto& [remove, expected] : steps) {
        remove();
        dao.readConfigFromFile(config);
        EXPECT_EQ(config->publicToken(), expected);
    }
}

TEST_F(FileConfigDaoTest, MutatedFilesNeverCrashAndOnlySetRecognisedValues) {
    const std::string seed =
        R"({"publicToken":"abc","enableOnFirstRun":false,"maxRegionsMonitored":8.5,"quickSyncDisabled":1,)"
        R"("enableBackgroundLocation":true,"provisionalNotificationPermission":[0],"x":{"y":null}})";
    std::mt19937 random(1234);
    const char alphabet[] = "{}[]\",:-.0123456789eEtrufalsn \\\xC3\xFF";
    for (int round = 0; round < 1500; ++round) {
        std::string text = seed;
        int edits = 1 + static_cast<int>(random() % 6);
        for (int e = 0; e < edits; ++e) {
            size_t at = random() % (text.size() + 1);
            switch (random() % 3) {
                case 0:
                    text.insert(at, 1, alphabet[random() % (sizeof alphabet - 1)]);
                    break;
                case 1:
                    if (at < text.size())
                        text.erase(at, 1);
                    break;
                default:
                    if (at < text.size())
                        text[at] = alphabet[random() % (sizeof alphabet - 1)];
                    break;
            }
        }
        auto fresh = ZarnConfiguration::create();
        ship(text);
        dao.readConfigFromFile(fresh);
        EXPECT_GE(fresh->maxRegionsMonitored(), 0) << text;
        EXPECT_LE(fresh->maxRegionsMonitored(), 20) << text;
    }
}

}  // namespace
}  // namespace zarn
