#pragma once
// The floor of the two durability tiers: recorded write statements replayed on a bare connection
// in the transactions they ran in, each at synchronous FULL when it holds something someone
// outside the library is told of (a sent record, the user's choice, the public token, the deletion
// of events) and at NORMAL otherwise, with the log synced 15 minutes after the first commit left
// unsynced and at each mark (the app leaving the foreground). A new file is switched to the log at
// OFF, and its first page synced with the first durable commit, as nothing else keeps it.
#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bench/SyncLedger.h"
#include "testing/SyncCountingVfs.h"

namespace zarn::bench {

class TierReplay {
  public:
    uint64_t syncs = 0;
    uint64_t bytes = 0;
    size_t transactions = 0;
    size_t durable = 0;

    static bool isTold(const std::string& sql) {
        auto has = [&](const char* text) { return sql.find(text) != std::string::npos; };
        return has("INSERT INTO notification_sent") || has("INSERT INTO geotrigger_sent") ||
               has("UPDATE notification_sent") || has("UPDATE geotrigger_sent") || has("'zarn_enabled'") ||
               has("'zarn_public_token'") || has("DELETE FROM events WHERE identifier =") ||
               sql == "DELETE FROM events";
    }

    // A bare connection to the file at `path` (made when missing), kept for every replay.
    explicit TierReplay(const std::string& path) {
        sqlite3_open(path.c_str(), &db_);
        sqlite3_int64 pages = 0;
        exec("PRAGMA page_count", &pages);
        firstPageUnsynced_ = pages == 0;
        exec(firstPageUnsynced_ ? "PRAGMA synchronous = OFF" : "PRAGMA synchronous = FULL");
        exec("PRAGMA journal_mode = WAL");
        exec("PRAGMA synchronous = FULL");
    }
    // The closing's checkpoint is counted by no replay, as the library's connection stays open.
    ~TierReplay() { sqlite3_close_v2(db_); }
    TierReplay(const TierReplay&) = delete;
    TierReplay& operator=(const TierReplay&) = delete;

    // Replays `writes` (`marks` and the bound read on the clock they were recorded with); adds
    // what it cost to the totals.
    void replay(const std::vector<SyncLedger::Write>& writes, const std::vector<double>& marks = {},
                double bound = 15 * 60) {
        auto& vfs = test::SyncCountingVfs::install();
        uint64_t syncs0 = vfs.syncs(), bytes0 = vfs.bytesWritten();
        size_t mark = 0;
        for (size_t i = 0; i < writes.size();) {
            size_t end = i;
            bool told = false;
            for (; end < writes.size() && writes[end].transaction == writes[i].transaction; ++end)
                told = told || isTold(writes[end].sql);
            // What came due before this transaction: the marks, then the deadline.
            for (; mark < marks.size() && marks[mark] <= writes[i].at; ++mark) syncIfUnsynced();
            if (unsyncedSince_ && writes[i].at >= *unsyncedSince_ + bound)
                syncIfUnsynced();
            exec(told ? "PRAGMA synchronous = FULL" : "PRAGMA synchronous = NORMAL");
            exec("BEGIN");
            for (size_t k = i; k < end; ++k)
                if (writes[k].sql.rfind("PRAGMA", 0) != 0 && writes[k].sql.rfind("pragma", 0) != 0)
                    exec(writes[k].sql.c_str());
            exec("COMMIT");
            exec("PRAGMA synchronous = FULL");
            ++transactions;
            if (told) {
                ++durable;
                unsyncedSince_.reset();
                syncFirstPage();
            } else if (!unsyncedSince_) {
                unsyncedSince_ = writes[i].at;
            }
            i = end;
        }
        syncs += vfs.syncs() - syncs0;
        bytes += vfs.bytesWritten() - bytes0;
    }

  private:
    void syncIfUnsynced() {
        if (!unsyncedSince_)
            return;
        sqlite3_file* log = nullptr;
        sqlite3_file_control(db_, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log);
        if (log && log->pMethods)
            log->pMethods->xSync(log, SQLITE_SYNC_NORMAL);
        unsyncedSince_.reset();
        syncFirstPage();
    }
    void syncFirstPage() {
        sqlite3_file* file = nullptr;
        sqlite3_file_control(db_, "main", SQLITE_FCNTL_FILE_POINTER, &file);
        if (firstPageUnsynced_ && file && file->pMethods)
            file->pMethods->xSync(file, SQLITE_SYNC_NORMAL);
        firstPageUnsynced_ = false;
    }
    void exec(const char* sql, sqlite3_int64* first = nullptr) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) != SQLITE_OK)
            return;
        while (sqlite3_step(s) == SQLITE_ROW)
            if (first)
                *first = sqlite3_column_int64(s, 0);
        sqlite3_finalize(s);
    }

    sqlite3* db_ = nullptr;
    bool firstPageUnsynced_ = false;
    std::optional<double> unsyncedSince_;
};

}  // namespace zarn::bench
