#pragma once
#include <optional>
#include <string>

#include "core/ZarnPSequenceChecker.h"
#include "store/ZarnPSegmentationDao.h"
#include "store/ZarnPSqLiteDao.h"

namespace zarn {

// The table "set_segmentation_property": one value per key, with the flag is_server_property.
// Failures are logged in the domain "SegmentationDao" and never raised; a failed read answers
// nothing, so a broken table reads as a user without values.
class ZarnPSqLiteSegmentationDao final : public ZarnPSqLiteDao, public ZarnPSegmentationDao {
  public:
    using ZarnPSqLiteDao::ZarnPSqLiteDao;

    void createOrUpdate(int version) override;
    std::vector<TableShape> tableShapes() const override {
        return {{"set_segmentation_property", "key value is_server_property"}};
    }

    void setSegmentationValue(const std::optional<std::string>& value, const std::optional<std::string>& key,
                              bool isServerProperty) override;
    std::optional<std::string> getPropertyValue(const std::string& key) override;
    std::map<std::string, std::string> getSegmentationProperties() override;
    void clearServerSideSegmentationValues() override;
    void clearSegmentationValues() override;

    static bool isNilOrEmptyString(const std::optional<std::string>& string) {
        return !string || string->empty();
    }

  private:
    void clearValues(bool serverOnly);
    // One migration step in its own transaction, or the opening's: a transaction of its own is
    // rolled back when a statement failed.
    void migrateInTransaction(std::initializer_list<const char*> statements);

    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
