// A database that cannot be opened at all, met at start-up through the public entry: one start
// makes its tries once, the SDK thread is never stalled, and the library does not enable itself
// over a choice it cannot read.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "tests/support/StartedLibrary.h"
#include "zarn/ZarnBase.h"

namespace zarn {
namespace {

struct Unopenable {
    const char* name;
    void (*prepare)(const std::string& home);
};
void PrintTo(const Unopenable& c, std::ostream* os) {
    *os << c.name;
}

class UnopenableDatabaseTest : public test::StartedLibraryTest,
                               public ::testing::WithParamInterface<Unopenable> {};

TEST_P(UnopenableDatabaseTest, OneStartTriesOnceStaysQuickAndDoesNotEnableByDefault) {
    GetParam().prepare(env.home);
    auto started = std::chrono::steady_clock::now();
    initialize(/*enableOnFirstRun=*/true);
    // Updates, events and settings all ask for the database during this minute.
    env.advanceBy(60);
    ZarnBase::setCooldownPeriod(30);
    ZarnBase::sendAttributionEvent("opened");
    env.runUntilIdle();
    auto took = std::chrono::steady_clock::now() - started;

    // Three tries of 100 ms each at most once: well under a second of waiting.
    EXPECT_LT(took, std::chrono::seconds(3));
    EXPECT_EQ(env.consoleCount("ERROR|SqLiteDb| Failed to open db at"), 1);
    EXPECT_EQ(broadcasts(), (std::vector<std::string>{"Zarn_Initialized"}));
    EXPECT_FALSE(ZarnBase::isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Files, UnopenableDatabaseTest,
                         ::testing::Values(Unopenable{"DatabaseIsAFolder",
                                                      [](const std::string& home) {
                                                          std::filesystem::create_directories(
                                                              home + "/Documents/zarn.db");
                                                      }},
                                           Unopenable{"DocumentsIsAFile",
                                                      [](const std::string& home) {
                                                          std::ofstream(home + "/Documents")
                                                              << "not a folder";
                                                      }}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zarn
