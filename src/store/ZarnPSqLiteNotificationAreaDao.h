#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "store/ZarnPSqLiteDao.h"

namespace zarn {

class ZarnPDatabase;

// The spatial index of the nearest read: for each notification the box, in degrees, that holds
// every point the nearest statement ranks it by (its own point, or each circle of its polygon)
// widened by its match range in degrees of latitude and longitude, in an R*Tree
// ("notification_area") whose third dimension is the notification's region kind. A notification whose
// place is no plain number, or spans more than a few degrees, has a point far from the earth
// instead (1,000,000 degrees): it is a candidate wherever the device is.
//
// Triggers on "notification" and "polygon" keep it in step with the rows in the statement
// that writes them, whatever writes them; each costs a few lookups, so a save stays linear in
// what it writes (a polygon's later circles only widen its box). The box only ever grows
// outwards (the tree keeps 32-bit floats rounded outwards), so a notification outside a box
// around the device is neither inside its range nor nearer than the box's half-side.
//
// The index is an optimisation and never costs the library a start or a save: it is whole when
// the table and every trigger stand in the schema as made here, and is used only then. The
// opening makes it inside the migration only over an empty store; over stored rows it is built
// after the migration has committed, in a transaction of its own, and a failed build leaves the
// reads on their full statement until the next save or opening builds it. A save that rewrites
// every notification drops it and fills it once after its rows. Leftovers of an index dropped by
// another connection (triggers without their table) are dropped before any save writes a row. A
// file whose SQLite lacks the R*Tree module has no index. SDK thread only.
class ZarnPSqLiteNotificationAreaDao final : public ZarnPSqLiteDao {
  public:
    explicit ZarnPSqLiteNotificationAreaDao(std::shared_ptr<ZarnPSqLiteDb> db);

    // Inside the migration: makes the index when there is none and no notification is stored.
    // Never fails the opening.
    void createOrUpdate(int version) override;
    bool migrationFailsOnAFailedStatement() const override { return false; }
    // After the migration: builds the index over the stored rows, or over what is left of a broken
    // one, when it is not whole.
    void afterMigration() override;
    // After the whole file was read whole: builds the index again when it does not hold one
    // entry per notification (rows written past it by another connection).
    void afterWholeFileCheck() override;

    // Whether the table and every trigger stand in the schema as made here. Reads the schema only.
    static bool isWhole(ZarnPDatabase& database);
    // Drops whatever there is of the index, in a savepoint; false when that failed.
    static bool drop(ZarnPDatabase& database);
    // Drops what there is of an index that is not whole, so that no trigger refers to a missing
    // table; false when that failed.
    static bool dropLeftovers(ZarnPDatabase& database);
    // Builds it on `database` over the stored rows, whole or not at all (logged at WARN): in a
    // savepoint of its own, or inside the open transaction, dropping what it made when it fails.
    // False when it cannot.
    static bool build(ZarnPDatabase& database);

    // Remembers isWhole() of one connection while its schema stays as it was: one read of the
    // schema version per call. Every write of any connection keeps a whole index in step through
    // the triggers, so only a change of the schema can break it.
    class Trust {
      public:
        bool isWhole(ZarnPDatabase& database);

      private:
        std::weak_ptr<ZarnPDatabase> connection_;
        std::optional<int64_t> schemaVersion_;
        bool whole_ = false;
    };

    // The condition that keeps the notification rows ("n") of a kind (":area_kind") whose box
    // meets the box around the device (":area_south", ":area_north", ":area_west", ":area_east"),
    // with every notification of the kind that has no box of its own.
    static std::string_view candidateCondition();
    // Whether a box around the device (in degrees) meets every box of the index: the far point
    // aside, whose notifications are candidates of every box. A box around a device far off the
    // earth may hold none of them, however wide.
    static bool holdsEveryBox(double south, double north, double west, double east);
    // How many notifications of the kind have a box that meets the box around the device, counted
    // up to `limit` (a negative limit counts them all).
    static std::optional<int64_t> boxCount(ZarnPDatabase& database, int regionType, double south,
                                           double north, double west, double east, int64_t limit);
    // How many notifications of the kind the index holds, or how many of them have no box of their
    // own, counted up to `limit` (a negative limit counts them all).
    static std::optional<int64_t> kindCount(ZarnPDatabase& database, int regionType, bool unplacedOnly,
                                            int64_t limit);

    // kindCount() and the highest notification id, kept while nothing can have changed them: no
    // row of the tree written on the connection (every write of a notification writes its entry),
    // no commit of another one ("PRAGMA data_version"), the same schema. A read that judges the
    // index by them pays for the counts once after each change of the tree.
    class Census {
      public:
        // Forgets what was kept when something may have changed it; once before each read.
        void refresh(ZarnPDatabase& database);
        std::optional<int64_t> highestId(ZarnPDatabase& database);
        std::optional<int64_t> count(ZarnPDatabase& database, int regionType, bool unplacedOnly,
                                     int64_t limit);

      private:
        struct Key {
            int64_t schemaVersion, dataVersion;
            uint64_t treeWrites;
            bool operator==(const Key&) const = default;
        };
        // A count and the limit it was taken up to (negative: none).
        struct Kept {
            int64_t value, limit;
        };
        std::optional<Key> keyNow(ZarnPDatabase& database);

        std::weak_ptr<ZarnPDatabase> connection_;
        std::optional<Key> key_;
        std::optional<Kept> kept_[2][3];
        std::optional<int64_t> highestId_;
    };

    // The first difference between the index and the boxes the rows give (a missing, extra or
    // wrong entry, or a damaged tree), or nothing when they agree; for checks after a crash.
    static std::optional<std::string> disagreement(ZarnPDatabase& database);
};

}  // namespace zarn
