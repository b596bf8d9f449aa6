#pragma once
#include <functional>
#include <memory>
#include <optional>

#include "store/ZarnPTransaction.h"

namespace zarn {

class ZarnPSqLiteDb;

// Gathers the writes of one run (a match run, the end of a location update) into one commit of
// the durability tier the group names: the stores a run calls would each commit, and sync, on
// their own. It is not a unit of atomicity: when the group ends, also by an exception, what the
// run wrote is committed, as it would have been store by store; each store's own guard still
// keeps its write whole (see ZarnPTransaction). A group made while a transaction is open joins
// it (a Full group then makes that transaction's commit durable). Without a connection, or when
// none can begin, every store commits on its own as before. SDK thread only.
class ZarnPCommitGroup {
  public:
    // `domain` names the run in the log lines of a failed begin or commit.
    ZarnPCommitGroup(const std::shared_ptr<ZarnPSqLiteDb>& db, ZarnPDurability durability,
                     const char* domain);
    // Commits; a failure is logged and the group's writes are lost, as a failed write is.
    ~ZarnPCommitGroup();
    ZarnPCommitGroup(const ZarnPCommitGroup&) = delete;
    ZarnPCommitGroup& operator=(const ZarnPCommitGroup&) = delete;

    // Begins, or joins, a transaction on the connection of `db` in `transaction`. Without a
    // connection, or when none can begin, leaves it empty; the latter is logged in `domain` as
    // "<what> without one transaction: <reason>".
    static void begin(std::optional<ZarnPTransaction>& transaction, const std::shared_ptr<ZarnPSqLiteDb>& db,
                      ZarnPDurability durability, const char* domain, const char* what);

    // Runs `action` once what was written on `db` so far is committed and durable (see
    // ZarnPDatabase::runAfterDurableCommit): after the commit of the open transaction, or at once.
    // Without a connection, at once.
    static void afterDurableCommit(const std::shared_ptr<ZarnPSqLiteDb>& db, std::function<void()> action);

  private:
    const char* domain_;
    std::optional<ZarnPTransaction> transaction_;
};

}  // namespace zarn
