// Numbers that are not finite offered to the started library's settings: refused with a log
// line, the value stored before kept across a restart.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "store/settings/ZarnPKeyValueDao.h"
#include "tests/support/StartedLibrary.h"

namespace zarn {
namespace {

class NonFiniteSettingsTest : public test::StartedLibraryTest {
  protected:
    // The started library's settings, through a store of the test's own on its file; settings
    // belong to the SDK thread.
    template <typename F>
    void onSdk(F&& f) {
        auto g = ground();
        ASSERT_TRUE(g);
        g->onSdk([&] { f(*g->settings()); });
    }
};

TEST_F(NonFiniteSettingsTest, NonFiniteDoublesAndDatesAreRefusedAndTheOldValuesKept) {
    initialize();
    const Date stored = dateWithTimeIntervalSince1970(1796126400.5);
    onSdk([&](ZarnPKeyValueDao& kv) {
        kv.setDoublePropertyValue(1.25, "test_double");
        kv.setDatePropertyValue(stored, "test_date");
        for (double bad : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN()}) {
            kv.setDoublePropertyValue(bad, "test_double");
            kv.setDatePropertyValue(dateWithTimeIntervalSince1970(bad), "test_date");
        }
    });
    EXPECT_GE(env.consoleCount("Refusing to store a non-finite number"), 6);
    restart();
    initialize();
    onSdk([&](ZarnPKeyValueDao& kv) {
        EXPECT_EQ(kv.getDoublePropertyValueForKey("test_double"), 1.25);
        auto date = kv.getDatePropertyValueForKey("test_date");
        ASSERT_TRUE(date);
        EXPECT_EQ(timeIntervalSince1970(*date), 1796126400.5);
    });
}

}  // namespace
}  // namespace zarn
