#include "core/ZarnPSequenceChecker.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "core/ZarnPSystemTimerDao.h"
#include "sim/Device.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/Value.h"

namespace zarn {
namespace {

bool onOtherThread(const ZarnPSequenceChecker& checker) {
    return std::async(std::launch::async, [&] { return checker.calledOnValidSequence(); }).get();
}

TEST(SequenceCheckerTest, BindsToTheFirstThreadAndRefusesAnother) {
    ZarnPSequenceChecker checker;
    EXPECT_TRUE(checker.calledOnValidSequence());
    EXPECT_TRUE(checker.calledOnValidSequence());
    EXPECT_FALSE(onOtherThread(checker));
    checker.detach();
    EXPECT_TRUE(onOtherThread(checker));
    EXPECT_FALSE(checker.calledOnValidSequence());
}

TEST(SequenceCheckerTest, EverySdkThreadIsOneSequence) {
    test::TestEnvironment env;
    ZarnPSequenceChecker checker;
    auto first =
        std::make_shared<ZarnPSystemTimerDao>(env.time, platform::mainRunLoop(), env.device->application());
    auto second =
        std::make_shared<ZarnPSystemTimerDao>(env.time, platform::mainRunLoop(), env.device->application());
    bool a = false, b = false, sdk = false;
    first->invokeBlockOnRunLoop([&] { a = checker.calledOnValidSequence(); }, true);
    second->invokeBlockOnRunLoop(
        [&] {
            b = checker.calledOnValidSequence();
            sdk = ZarnPSequenceChecker::isSdkThread();
        },
        true);
    EXPECT_TRUE(a);
    EXPECT_TRUE(b);
    EXPECT_TRUE(sdk);
    EXPECT_FALSE(ZarnPSequenceChecker::isSdkThread());
    EXPECT_FALSE(checker.calledOnValidSequence());
}

#ifdef ZARN_SEQUENCE_CHECKS
TEST(SequenceCheckerDeathTest, ACallOffTheSequenceAborts) {
    ZarnPSequenceChecker checker;
    ZARN_CHECK_SEQUENCE(checker);
    EXPECT_DEATH(std::thread([&] { ZARN_CHECK_SEQUENCE(checker); }).join(), "called off its sequence");
}
#endif

}  // namespace
}  // namespace zarn
