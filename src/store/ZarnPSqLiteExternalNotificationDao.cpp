#include "store/ZarnPSqLiteExternalNotificationDao.h"

#include "core/ZarnPLogger.h"
#include "store/ZarnPMigrationSteps.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "SqLiteExternalNotificationDao";
}  // namespace

ZarnPSqLiteExternalNotificationDao::ZarnPSqLiteExternalNotificationDao(
    std::shared_ptr<ZarnPSqLiteDb> db, std::shared_ptr<ZarnPSqLiteCooldownDao> cooldownDao,
    std::shared_ptr<ZarnPClockDao> clockDao)
    : ZarnPSqLiteBaseNotificationDao(std::move(db), "external_", std::move(cooldownDao),
                                     std::move(clockDao)) {}

std::vector<ZarnPSqLiteDao::TableShape> ZarnPSqLiteExternalNotificationDao::tableShapes() const {
    auto shapes = ZarnPSqLiteBaseNotificationDao::tableShapes();
    shapes.insert(shapes.end(), {{"external_notifications_user_entered", ""},
                                 {"external_notifications_timespans", ""},
                                 {"external_notifications_cooldown_groups", ""},
                                 {"external_notifications_segmentation_properties", ""}});
    return shapes;
}

void ZarnPSqLiteExternalNotificationDao::createOrUpdate(int version) {
    if (version >= 20)
        return;
    // Every table IF NOT EXISTS: a file that already holds some of them must not fail on them.
    ZarnPMigrationSteps steps(database());
    steps.group([&] {
        steps.run(
            "CREATE TABLE IF NOT EXISTS external_notifications_user_entered (identifier VARCHAR(255) NOT "
            "NULL "
            "PRIMARY KEY,date DOUBLE NOT NULL);");
        steps.run(
            "CREATE TABLE IF NOT EXISTS external_notifications_user_has_to_exit_first (identifier "
            "VARCHAR(255) NOT NULL PRIMARY "
            "KEY)");
        steps.run(
            "CREATE TABLE IF NOT EXISTS external_notifications_segmentation_ids (notification_id "
            "VARCHAR(255) NOT NULL, "
            "segmentation_id VARCHAR(255) NOT NULL, PRIMARY KEY(notification_id, segmentation_id));");
        steps.run(
            "CREATE TABLE IF NOT EXISTS external_notifications_segmentation_properties (notification_id "
            "VARCHAR(255) NOT "
            "NULL,segmentation_id VARCHAR(255) NOT NULL,occurrences INTEGER,operator "
            "INTEGER,interval_seconds "
            "INTEGER);");
        steps.run(
            "CREATE TABLE IF NOT EXISTS external_notifications_user_dwelling (identifier VARCHAR(255) NOT "
            "NULL "
            "PRIMARY KEY,match_identifier VARCHAR(255) NOT NULL,enddate DOUBLE NOT NULL);");
        steps.run(
            "CREATE TABLE IF NOT EXISTS external_notifications_timespans (identifier VARCHAR(255) NOT "
            "NULL,start DOUBLE,end DOUBLE);");
        steps.run(
            "CREATE INDEX IF NOT EXISTS external_notifications_timespans_idx ON "
            "external_notifications_timespans "
            "(identifier);");
        steps.run(
            "CREATE TABLE IF NOT EXISTS external_notifications_cooldown_groups (identifier VARCHAR(255) NOT "
            "NULL, group_identifier VARCHAR(255) NOT NULL, cooldown INTEGER NOT NULL, PRIMARY "
            "KEY(identifier, "
            "group_identifier));");
    });
    if (steps.failed())
        LogNsError(kDomain, *steps.error(), "Failed to create DB");
}

}  // namespace zarn
