#pragma once
#include <memory>

namespace zarn {

class ZarnPDatabase;

// Scope of one exclusive transaction: begun on construction, rolled back on destruction unless
// commit() succeeded, so that an exception anywhere in a save leaves the store as it was.
// A guard made with JoinOrBegin while the connection is already in a transaction joins it: it
// neither commits nor rolls back, and leaves both to the guard that began it.
// SDK thread only, like the connection.
class ZarnPTransaction {
  public:
    enum class Mode { Begin, JoinOrBegin };

    // Raises ZarnPDatabaseException when there is no connection or the transaction cannot begin.
    explicit ZarnPTransaction(std::shared_ptr<ZarnPDatabase> database, Mode mode = Mode::Begin);
    ~ZarnPTransaction();
    ZarnPTransaction(const ZarnPTransaction&) = delete;
    ZarnPTransaction& operator=(const ZarnPTransaction&) = delete;

    // Raises ZarnPDatabaseException when the commit fails; the destructor then rolls back.
    void commit();
    // Rolls back now (logged by the connection on failure); never raises.
    void rollback();

    // Whether this guard began the transaction (and so ends it).
    bool ownsTransaction() const { return owns_; }

  private:
    std::shared_ptr<ZarnPDatabase> database_;
    bool owns_ = false;
    bool finished_ = false;
};

}  // namespace zarn
