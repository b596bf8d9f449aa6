#pragma once
#include <memory>
#include <string>
#include <vector>

#include "core/ZarnPSequenceChecker.h"
#include "schema/dataupdate_generated.h"
#include "store/ZarnPSqLiteDao.h"

namespace zarn {

// The table "cooldown_group": each cooldown group the service defines, with its cooldown in
// seconds. Written only while a data update is saved: every failure raises the database
// exception, which ends that save.
class ZarnPSqLiteCooldownGroupDao : public ZarnPSqLiteDao {
  public:
    // Ids bound by name in one DELETE at most (SQLite's historic parameter limit is 999).
    static constexpr size_t kMaxIdsPerDelete = 900;

    explicit ZarnPSqLiteCooldownGroupDao(std::shared_ptr<ZarnPSqLiteDb> db);

    void createOrUpdate(int version) override;
    std::vector<TableShape> tableShapes() const override { return {{"cooldown_group", "id value"}}; }

    // A group of the data update; one without a readable id is logged and skipped.
    void save(const com::zarnkit::velto::dataupdate::fb::CooldownGroupDTO& cooldownGroup);
    // Raises when the id is already stored.
    void save(const std::string& id, int64_t value);
    // Nothing for no ids.
    void deleteByIds(const std::vector<std::string>& ids);
    std::vector<std::string> listIds();

  private:
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
