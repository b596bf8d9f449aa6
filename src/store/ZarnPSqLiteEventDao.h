#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "core/ZarnPSequenceChecker.h"
#include "store/ZarnPEventDao.h"
#include "store/ZarnPSqLiteDao.h"

namespace zarn {

// The "events" table. A row whose event type is unknown or whose extra is not a JSON object is
// skipped when reading (and logged), so that one bad row cannot stop every upload; it stays in
// the table. Failures are logged in the domain "SqLiteEventDao", never raised.
//
// It counts the stored events of each type, from a COUNT at the type's first capped save, so that a capped
// save skips the cap query while the type is known to be within its limit. Whenever a count may be wrong (a
// failure, a delete whose rows it cannot see, a transaction it joined and does not end) it is forgotten and
// the next capped save asks the table again. The counts hold while this object is the only writer of the
// table, as the module's one events store is.
class ZarnPSqLiteEventDao final : public ZarnPSqLiteDao, public ZarnPEventDao {
  public:
    using ZarnPSqLiteDao::ZarnPSqLiteDao;

    void createOrUpdate(int version) override;
    std::vector<TableShape> tableShapes() const override {
        return {{"events", "identifier eventType date extra"}};
    }

    void deleteEvents(const std::vector<std::shared_ptr<ZarnPEvent>>& events) override;
    void deleteAllEvents() override;
    void saveEvent(const ZarnPEvent& event) override;
    void saveEvent(const ZarnPEvent& event, int limit) override;
    std::vector<std::shared_ptr<ZarnPEvent>> getEvents() override;
    int getEventCount() override;
    void limitEventsOfType(unsigned eventType, int limit) override;

  private:
    // The INSERT of one event; false when it failed (logged).
    bool insert(ZarnPDatabase& db, const ZarnPEvent& event, const std::string& typeName,
                const std::string& extra);
    // Deletes what the cap leaves out of the type's `count` stored events (kUnknownCount when not
    // known); true when it ran.
    bool applyLimit(ZarnPDatabase& db, const std::string& typeName, int limit, int64_t count);
    // The stored number of events of the type, asked of the table when not known; -1 when the
    // table cannot tell.
    int64_t countOfType(const std::shared_ptr<ZarnPDatabase>& db, const std::string& typeName);
    // Counts belong to one connection: a new one (a reopened file) starts them anew.
    void followConnection(const std::shared_ptr<ZarnPDatabase>& db);
    void forgetCount(const std::string& typeName);
    void forgetCounts();

    ZarnPSequenceChecker sequence_;
    std::weak_ptr<ZarnPDatabase> countedOn_;
    std::unordered_map<std::string, int64_t> counts_;
    // Whether a type missing from counts_ is known to have no stored event.
    bool countsComplete_ = false;
};

}  // namespace zarn
