#pragma once
#include <cstdint>
#include <string>

struct sqlite3_stmt;

namespace zarn {

class ZarnPDatabase;

// Sole owner of one prepared statement: closing or destroying it finalizes the handle. The
// connection that prepared it knows it, so that closing the connection finalizes a statement
// still held by its user (the handle then reads null and every use of it is refused).
// Not copyable or movable; held through std::unique_ptr. SDK thread only, like its connection.
class ZarnPStatement {
  public:
    ZarnPStatement(ZarnPDatabase* owner, sqlite3_stmt* statement, std::string query);
    ~ZarnPStatement();
    ZarnPStatement(const ZarnPStatement&) = delete;
    ZarnPStatement& operator=(const ZarnPStatement&) = delete;

    // Finalizes the handle if there is one and clears it. Harmless when repeated.
    void close();
    // Resets the handle if there is one (bindings stay).
    void reset();

    sqlite3_stmt* statement() const { return statement_; }
    const std::string& query() const { return query_; }
    int64_t useCount() const { return useCount_; }
    void setUseCount(int64_t count) { useCount_ = count; }

  private:
    friend class ZarnPDatabase;
    // The connection is closing and finalizes the handle itself.
    void detachFromDatabase() { owner_ = nullptr; }
    // On close the handle goes back to the connection's kept statements instead of being finalized.
    void keepForReuse() { reusable_ = true; }

    ZarnPDatabase* owner_;
    sqlite3_stmt* statement_;
    std::string query_;
    int64_t useCount_ = 0;
    bool reusable_ = false;
};

}  // namespace zarn
