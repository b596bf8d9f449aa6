#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "zarn/Error.h"

namespace zarn {

class ZarnPDatabase;

// A store's migration as groups of statements, with one error for the whole migration: once a
// statement has failed, nothing later runs. Each group runs in a transaction of its own, or joins
// the one the opening migrates in, which then leaves undoing it all to the opening. Never raises.
// SDK thread only.
class ZarnPMigrationSteps {
  public:
    // A null connection fails every group.
    explicit ZarnPMigrationSteps(std::shared_ptr<ZarnPDatabase> database);
    ZarnPMigrationSteps(const ZarnPMigrationSteps&) = delete;
    ZarnPMigrationSteps& operator=(const ZarnPMigrationSteps&) = delete;

    // Runs `statements` in one transaction, joined when the caller already has one open; a
    // transaction of its own is rolled back when the error is set by the end of it, else committed.
    void group(const std::function<void()>& statements);
    // One statement, only while no error is recorded.
    void run(std::string_view sql);
    // Records an error found otherwise, unless one is recorded already.
    void fail(const Error& error);

    // Whether the table has the column (false also when the table is missing).
    bool hasColumn(std::string_view table, std::string_view column);
    bool hasTable(std::string_view table);

    bool failed() const { return error_.has_value(); }
    const std::optional<Error>& error() const { return error_; }
    const std::shared_ptr<ZarnPDatabase>& database() const { return database_; }

  private:
    std::shared_ptr<ZarnPDatabase> database_;
    std::optional<Error> error_;
};

}  // namespace zarn
