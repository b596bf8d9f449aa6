#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "store/ZarnPSqLiteDao.h"

namespace zarn {

class ZarnPDatabase;

// The spatial index of the nearest read: for each notification the box, in degrees, that holds
// every point the nearest statement ranks it by (its own point, or each circle of its polygon)
// widened by its match range in degrees of latitude and longitude, in an R*Tree
// ("notification_area") with the notification's region kind beside it. A notification whose
// place is no plain number, or spans more than a few degrees, has a point far from the earth
// instead (1,000,000 degrees): it is a candidate wherever the device is.
//
// Triggers on "notification" and "polygon" keep it in step with the rows in the statement
// that writes them, whatever writes them. The box only ever grows outwards (the tree keeps
// 32-bit floats rounded outwards), so a notification outside a box around the device is
// neither inside its range nor nearer than the box's half-side.
//
// Built at opening, inside the opening's transaction, when missing or not agreeing with the
// rows; a file whose SQLite lacks the R*Tree module has no index, and the nearest read runs its
// full statement. SDK thread only.
class ZarnPSqLiteNotificationAreaDao final : public ZarnPSqLiteDao {
  public:
    explicit ZarnPSqLiteNotificationAreaDao(std::shared_ptr<ZarnPSqLiteDb> db);

    // Builds the index when it is missing or disagrees with the rows; never fails the opening.
    void createOrUpdate(int version) override;
    bool migrationFailsOnAFailedStatement() const override { return false; }

    // Builds it now on `database`, in one savepoint: whole or not at all. False when it cannot.
    static bool ensure(ZarnPDatabase& database);

    // The number of notifications when the index is there, with its triggers, and holds one
    // entry per notification; nothing when it cannot be trusted.
    static std::optional<int64_t> trustedCount(ZarnPDatabase& database);

    // The condition that keeps the notification rows ("n") of a kind (":area_kind") whose box
    // meets the box around the device (":area_south", ":area_north", ":area_west", ":area_east"),
    // with every notification of the kind that has no box of its own.
    static std::string_view candidateCondition();
    // How many notifications of the kind that condition keeps.
    static std::optional<int64_t> candidateCount(ZarnPDatabase& database, int regionType, double south,
                                                 double north, double west, double east);

    // The first difference between the index and the boxes the rows give (a missing, extra or
    // wrong entry, or a damaged tree), or nothing when they agree; for checks after a crash.
    static std::optional<std::string> disagreement(ZarnPDatabase& database);
};

}  // namespace zarn
