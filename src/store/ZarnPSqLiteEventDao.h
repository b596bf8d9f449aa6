#pragma once
#include "core/ZarnPSequenceChecker.h"
#include "store/ZarnPEventDao.h"
#include "store/ZarnPSqLiteDao.h"

namespace zarn {

// The "events" table. A row whose event type is unknown or whose extra is not a JSON object is
// skipped when reading (and logged), so that one bad row cannot stop every upload; it stays in
// the table. Failures are logged in the domain "SqLiteEventDao", never raised.
class ZarnPSqLiteEventDao final : public ZarnPSqLiteDao, public ZarnPEventDao {
  public:
    using ZarnPSqLiteDao::ZarnPSqLiteDao;

    void createOrUpdate(int version) override;

    void deleteEvents(const std::vector<std::shared_ptr<ZarnPEvent>>& events) override;
    void deleteAllEvents() override;
    void saveEvent(const ZarnPEvent& event) override;
    std::vector<std::shared_ptr<ZarnPEvent>> getEvents() override;
    int getEventCount() override;
    void limitEventsOfType(unsigned eventType, int limit) override;

  private:
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
