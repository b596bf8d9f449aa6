#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ZarnPSequenceChecker.h"
#include "store/ZarnPSentTriggerDao.h"
#include "store/ZarnPSqLiteDao.h"

namespace zarn {

class ZarnPDatabase;
class ZarnPResultSet;

// The tables "notification_sent" and "geotrigger_sent", one row per sending, keyed by the match
// identifier and built from the request's userInfo. After a save a table keeps at most 100 rows:
// waiting dwelling notifications first, then the newest sent ones, the later row winning a tie.
// A saved waiting notification replaces the waiting rows of the same notification, so cancelled
// dwellings cannot pile up and push sent rows out. Nothing raises: failures are logged in the
// domain "SentTriggerDao" or answered as errors, reads answer nothing.
class ZarnPSqLiteSentTriggerDao final : public ZarnPSqLiteDao, public ZarnPSentTriggerDao {
  public:
    static constexpr int kMaximumRows = 100;

    using ZarnPSqLiteDao::ZarnPSqLiteDao;

    void createOrUpdate(int version) override;
    std::vector<TableShape> tableShapes() const override;

    void saveSentTrigger(const NotificationRequest& request, std::optional<Date> now) override;
    std::optional<Error> saveDwellingTrigger(const std::string& matchIdentifier, Date now) override;
    std::optional<Error> markNotificationOpened(const std::string& matchIdentifier, Date now) override;
    std::optional<Error> markGeotriggerHandled(const std::string& matchIdentifier, Date now) override;
    std::shared_ptr<ZarnPSentTrigger> sentNotification(const std::string& matchIdentifier) override;
    std::vector<std::shared_ptr<ZarnPSentTrigger>> sentNotifications() override;
    std::vector<std::shared_ptr<ZarnPSentTrigger>> sentGeotriggers() override;
    void clearSentNotifications() override;
    void clearSentGeotriggers() override;
    std::optional<Error> deleteUnsentTriggers(const std::vector<std::string>& identifiers) override;

  private:
    std::optional<Error> markTrigger(const std::string& matchIdentifier, bool isGeotrigger, Date now);
    void clearTable(const char* table);
    // Keeps the first kMaximumRows rows of the cap order; false when the statement failed.
    bool enforceMaximum(ZarnPDatabase& db, const char* table);
    std::vector<std::shared_ptr<ZarnPSentTrigger>> marshallResultSet(ZarnPResultSet& rs);
    std::vector<std::shared_ptr<ZarnPSentTrigger>> readTable(const char* table);
    // One migration step in a transaction of its own, or in the opening's; `statements` stop at
    // the first failure, whose error is returned.
    std::optional<Error> migrateStep(const std::vector<std::string>& statements);
    // The ALTER statements adding `column` to both tables, where it is not there yet.
    std::vector<std::string> addColumnWhereMissing(const char* column, const char* type);

    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
