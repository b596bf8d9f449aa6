#pragma once
#include <memory>

#include "core/ZarnPSequenceChecker.h"
#include "store/ZarnPContextualPageDao.h"
#include "store/ZarnPSqLiteDao.h"

namespace zarn {

class ZarnPClockDao;

// The table "closest_contextual_page": at most one row per match-run type, the newest of which
// the app reads back. A payload that no longer parses as a JSON object reads as absent; writes
// return their error and nothing raises.
class ZarnPSqLiteContextualPageDao final : public ZarnPSqLiteDao, public ZarnPContextualPageDao {
  public:
    static constexpr double kRelevanceSeconds = 15 * 60;

    // Both required; the clock dates the rows.
    ZarnPSqLiteContextualPageDao(std::shared_ptr<ZarnPSqLiteDb> db, std::shared_ptr<ZarnPClockDao> clockDao);

    void createOrUpdate(int version) override;
    std::vector<TableShape> tableShapes() const override {
        return {{"closest_contextual_page", "id identifier data match_payload date match_run_type"}};
    }

    std::optional<Error> setClosestContextualPage(const std::string& identifier, const std::string& data,
                                                  const std::optional<Value>& matchPayload, Date date,
                                                  const std::string& matchRunType) override;
    std::optional<Value> getClosestContextualPage() override;
    std::optional<Error> unsetContextualPage(const std::string& matchRunType) override;

  private:
    ZarnPSequenceChecker sequence_;
    std::shared_ptr<ZarnPClockDao> clockDao_;
};

}  // namespace zarn
