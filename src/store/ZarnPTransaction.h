#pragma once
#include <cstdint>
#include <memory>

#include "store/ZarnPDurability.h"

namespace zarn {

class ZarnPDatabase;

// Scope of one exclusive transaction: begun on construction, rolled back on destruction unless
// commit() succeeded, so that an exception anywhere in a save leaves the store as it was. Its
// commit is of the durability tier the guard names (see ZarnPDurability).
// A guard made with JoinOrBegin while the connection is already in a transaction joins it: the
// commit is left to the guard that began it, but the joined guard's own writes stay all or
// nothing inside it (a savepoint, released by commit() and rolled back to otherwise), as they
// would be in a transaction of their own; a joined guard of the Full tier whose writes are kept,
// and changed rows, makes that commit durable, whatever tier it was begun at.
// SDK thread only, like the connection.
class ZarnPTransaction {
  public:
    enum class Mode { Begin, JoinOrBegin };

    // Raises ZarnPDatabaseException when there is no connection or the transaction cannot begin.
    ZarnPTransaction(std::shared_ptr<ZarnPDatabase> database, ZarnPDurability durability,
                     Mode mode = Mode::Begin);
    ~ZarnPTransaction();
    ZarnPTransaction(const ZarnPTransaction&) = delete;
    ZarnPTransaction& operator=(const ZarnPTransaction&) = delete;

    // Raises ZarnPDatabaseException when the commit fails; the destructor then rolls back.
    void commit();
    // Rolls back now (a joined guard: its own writes); logged by the connection on failure;
    // never raises.
    void rollback();

    // Whether this guard began the transaction (and so ends it).
    bool ownsTransaction() const { return owns_; }

  private:
    void endSavepoint(bool keep);

    std::shared_ptr<ZarnPDatabase> database_;
    ZarnPDurability durability_;
    // A joined guard's count of the connection's changed rows when it joined.
    int64_t changesAtJoin_ = 0;
    bool owns_ = false;
    // A joined guard's savepoint is open.
    bool savepoint_ = false;
    bool finished_ = false;
};

}  // namespace zarn
