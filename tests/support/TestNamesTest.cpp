#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zarn {
namespace {

// ctest and --gtest_filter name a case alike in every build only when a parameterised case is
// named by what it holds: one named by its index (or, in ctest, by its bytes) changes with the
// table or the build. Every INSTANTIATE_TEST_SUITE_P therefore gives a name generator.
TEST(TestNamesTest, EveryParameterisedCaseIsNamedByWhatItHolds) {
    const auto* unit = ::testing::UnitTest::GetInstance();
    std::vector<std::string> byIndex;
    for (int i = 0; i < unit->total_test_suite_count(); ++i) {
        const auto* suite = unit->GetTestSuite(i);
        for (int j = 0; j < suite->total_test_count(); ++j) {
            const auto* info = suite->GetTestInfo(j);
            const std::string name = info->name();
            const std::string last = name.substr(name.rfind('/') + 1);
            if (info->value_param() && last.find_first_not_of("0123456789") == std::string::npos)
                byIndex.push_back(std::string(suite->name()) + "." + name);
        }
    }
    EXPECT_TRUE(byIndex.empty()) << byIndex.size() << " cases named by their index, the first "
                                 << (byIndex.empty() ? "" : byIndex.front());
}

}  // namespace
}  // namespace zarn
