#pragma once
// Which statement each fdatasync came from, for the benchmarks that count a hot path's syncs.
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "testing/SyncCountingVfs.h"

namespace zarn::bench {

// Every connection opened after install() is traced, and the syncs counted by the counting file
// layer while a statement ran are put down to it (a commit to the writes of its transaction),
// those between two statements to neither.
class SyncLedger {
  public:
    static SyncLedger& instance() {
        static SyncLedger ledger;
        return ledger;
    }
    void install() {
        test::SyncCountingVfs::install();
        static const bool once = [] {
            sqlite3_auto_extension(reinterpret_cast<void (*)()>(&SyncLedger::onOpen));
            return true;
        }();
        (void)once;
    }
    void start() {
        perStatement.clear();
        seen = test::SyncCountingVfs::install().syncs();
        recording = true;
    }
    void stop() { recording = false; }
    // While recording, the write statements that took effect (with their values written in), each
    // with the reading of `clock` when it ran and the number of the transaction it committed in
    // (a statement outside one is a transaction of its own); statements of a rolled back
    // transaction are left out.
    struct Write {
        double at;
        std::string sql;
        uint64_t transaction = 0;
    };
    std::vector<Write> writes;
    // Readings of `clock` the benchmark marks (the app leaving the foreground).
    std::vector<double> marks;
    std::function<double()> clock;
    // The `limit` labels that synced most, `divisor` scaling each count (runs, hours).
    void print(double divisor, size_t limit = 12) const {
        std::vector<std::pair<uint64_t, std::string>> sorted;
        for (const auto& [label, count] : perStatement) sorted.emplace_back(count, label);
        std::sort(sorted.rbegin(), sorted.rend());
        if (sorted.size() > limit)
            sorted.resize(limit);
        for (const auto& [count, label] : sorted)
            std::printf("  %6.2f  %s\n", static_cast<double>(count) / divisor, label.substr(0, 240).c_str());
    }
    std::map<std::string, uint64_t> perStatement;

  private:
    static int onOpen(sqlite3* db, char**, const void*) {
        sqlite3_trace_v2(db, SQLITE_TRACE_STMT | SQLITE_TRACE_PROFILE, &SyncLedger::onTrace, nullptr);
        return SQLITE_OK;
    }
    static int onTrace(unsigned type, void*, void* p, void*) {
        auto& self = instance();
        auto* statement = static_cast<sqlite3_stmt*>(p);
        const char* text = sqlite3_sql(statement);
        std::string sql = text ? text : "";
        if (type == SQLITE_TRACE_STMT) {
            // Syncs outside any statement: the owner's sync of the log, a file's first page, a
            // checkpoint after a commit.
            uint64_t now = test::SyncCountingVfs::install().syncs();
            if (self.recording && now > self.seen)
                self.perStatement["between statements (a sync of the log or a checkpoint)"] +=
                    now - self.seen;
            self.seen = now;
            if (self.recording && self.clock)
                self.collect(statement, sql);
            if (startsWith(sql, "BEGIN"))
                self.label.clear();
            else if (!sqlite3_stmt_readonly(statement) && !startsWith(sql, "SAVEPOINT") &&
                     !startsWith(sql, "RELEASE"))
                self.label += (self.label.empty() ? "" : " + ") + sql.substr(0, 60);
            return 0;
        }
        uint64_t now = test::SyncCountingVfs::install().syncs();
        bool commit = startsWith(sql, "COMMIT");
        if (self.recording && now > self.seen)
            self.perStatement[commit ? "commit of [" + self.label + "]" : sql.substr(0, 110)] +=
                now - self.seen;
        // A statement that committed by itself leaves nothing for the next commit's label.
        if (!commit && sqlite3_get_autocommit(sqlite3_db_handle(statement)))
            self.label.clear();
        self.seen = now;
        return 0;
    }
    static bool startsWith(const std::string& sql, const char* word) {
        return sql.size() >= std::char_traits<char>::length(word) &&
               std::equal(word, word + std::char_traits<char>::length(word), sql.begin(),
                          [](char a, char b) { return a == std::toupper(static_cast<unsigned char>(b)); });
    }
    void collect(sqlite3_stmt* statement, const std::string& sql) {
        bool inTransaction = !sqlite3_get_autocommit(sqlite3_db_handle(statement));
        if (startsWith(sql, "BEGIN")) {
            pending.clear();
            ++transaction;
        } else if (startsWith(sql, "COMMIT") || startsWith(sql, "END")) {
            writes.insert(writes.end(), pending.begin(), pending.end());
            pending.clear();
        } else if (startsWith(sql, "ROLLBACK") && !startsWith(sql, "ROLLBACK TO")) {
            pending.clear();
        } else if (!sqlite3_stmt_readonly(statement) && !startsWith(sql, "SAVEPOINT") &&
                   !startsWith(sql, "RELEASE") && !startsWith(sql, "ROLLBACK")) {
            char* expanded = sqlite3_expanded_sql(statement);
            (inTransaction ? pending : writes)
                .push_back({clock(), expanded ? expanded : sql, inTransaction ? transaction : ++transaction});
            sqlite3_free(expanded);
        }
    }
    std::vector<Write> pending;
    uint64_t transaction = 0;
    uint64_t seen = 0;
    bool recording = false;
    // The writes of the transaction in progress, for the label of its commit.
    std::string label;
};

}  // namespace zarn::bench
