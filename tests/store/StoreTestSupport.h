#pragma once
// Direct access to a database file beside the layer under test: to build files of older schema
// versions, to hold locks from a second connection and to read back what the layer wrote.
#include <sqlite3.h>

#include <filesystem>
#include <optional>
#include <string>

namespace zarn::test {

class RawSqlite {
  public:
    explicit RawSqlite(const std::string& path) { sqlite3_open(path.c_str(), &db_); }
    ~RawSqlite() { sqlite3_close_v2(db_); }
    RawSqlite(const RawSqlite&) = delete;
    RawSqlite& operator=(const RawSqlite&) = delete;

    // Runs one or more statements; true on success.
    bool exec(const std::string& sql) {
        return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }

    // The first column of the first row as text; nothing for no row or a NULL.
    std::optional<std::string> text(const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        std::optional<std::string> out;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_type(stmt, 0) != SQLITE_NULL) {
            out = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        }
        sqlite3_finalize(stmt);
        return out;
    }
    long long integer(const std::string& sql) {
        auto t = text(sql);
        return t ? std::stoll(*t) : -1;
    }
    bool hasTable(const std::string& name) {
        return integer("SELECT COUNT(*) FROM sqlite_master WHERE type='table' AND name='" + name + "'") == 1;
    }

    sqlite3* handle() const { return db_; }

  private:
    sqlite3* db_ = nullptr;
};

// Writes a file of schema `version` at `path` (its folder made) holding what `sql` creates, as an
// older release left it; SQLite's message when a statement fails, else nothing.
inline std::optional<std::string> writeOldFile(const std::string& path, int version, const std::string& sql) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    RawSqlite raw(path);
    if (raw.exec("CREATE TABLE version (v INTEGER NOT NULL); INSERT INTO version VALUES (" +
                 std::to_string(version) + ");" + sql))
        return std::nullopt;
    return std::string(sqlite3_errmsg(raw.handle()));
}

}  // namespace zarn::test
