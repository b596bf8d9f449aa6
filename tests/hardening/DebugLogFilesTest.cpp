// The library's own log files as the started library finds and grows them: the purge of old
// day files touches regular files only, and neither zarn.log nor a day file grows without bound.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "sim/Device.h"
#include "tests/support/StartedLibrary.h"
#include "zarn/Value.h"

namespace zarn {
namespace {

namespace fs = std::filesystem;

class DebugLogFilesTest : public test::StartedLibraryTest {
  protected:
    void SetUp() override {
        StartedLibraryTest::SetUp();
        // An app named after the library has the public debug log on.
        env.device->mainBundle()->setInfoValue("CFBundleDisplayName", Value("Zarn Demo"));
        fs::create_directories(documents());
    }
    std::string documents() { return env.path("Documents"); }
    std::string dayFile(const std::string& day) { return documents() + "/zarndebug-" + day + ".log"; }
    static void fill(const std::string& path, uintmax_t bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        std::string line(1023, 'x');
        line += '\n';
        for (uintmax_t n = 0; n < bytes; n += line.size()) out << line;
    }
};

TEST_F(DebugLogFilesTest, PurgeAtStartRemovesOldDayFilesButNoFolderOrWhatItHolds) {
    fs::create_directories(dayFile("2026-11-01"));
    std::ofstream(dayFile("2026-11-01") + "/photo.jpg") << "keep";
    std::ofstream(dayFile("2026-11-02")) << "old day";
    std::ofstream(dayFile("2026-11-30")) << "yesterday";

    initialize();
    EXPECT_TRUE(fs::exists(dayFile("2026-12-01")));  // today's file took the start's lines
    EXPECT_TRUE(fs::exists(dayFile("2026-11-01") + "/photo.jpg"));
    EXPECT_FALSE(fs::exists(dayFile("2026-11-02")));
    EXPECT_TRUE(fs::exists(dayFile("2026-11-30")));
}

TEST_F(DebugLogFilesTest, ZarnLogRollsToOnePreviousFileAndAFullDayFileStopsGrowing) {
    std::string log = documents() + "/zarn.log";
    fill(log, 4 * 1024 * 1024 + 10);
    auto oldSize = fs::file_size(log);
    fill(dayFile("2026-12-01"), 2 * 1024 * 1024 + 10);
    auto daySize = fs::file_size(dayFile("2026-12-01"));

    initialize();
    env.advanceBy(600);  // ten minutes of updates and their lines
    EXPECT_EQ(fs::file_size(log + ".1"), oldSize);
    EXPECT_GT(fs::file_size(log), 0u);
    EXPECT_LT(fs::file_size(log), oldSize);
    EXPECT_EQ(fs::file_size(dayFile("2026-12-01")), daySize);

    // A second roll replaces the previous file instead of keeping a third.
    restart();
    fill(log, 4 * 1024 * 1024 + 10);
    initialize();
    EXPECT_EQ(fs::file_size(log + ".1"), oldSize);
    EXPECT_FALSE(fs::exists(log + ".2"));
}

}  // namespace
}  // namespace zarn
