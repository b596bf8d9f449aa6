#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "zarn/Date.h"

namespace zarn {

class ZarnPDatabase;
class ZarnPStatement;

// A forward cursor over the rows of one query. While open it owns its statement and keeps its
// connection alive; it closes itself when the cursor passes the last row or a step fails, and on
// destruction. Column getters answer 0, NO or nothing for a NULL column, for an index that is
// negative or past the last column, for an unknown column name, and whenever no row is ready
// (before the first next(), after the last one, after close()). SDK thread only.
class ZarnPResultSet {
  public:
    static std::unique_ptr<ZarnPResultSet> resultSetWithStatement(
        std::unique_ptr<ZarnPStatement> statement, std::shared_ptr<ZarnPDatabase> parentDatabase);
    ZarnPResultSet(std::unique_ptr<ZarnPStatement> statement, std::shared_ptr<ZarnPDatabase> parentDatabase);
    ~ZarnPResultSet();
    ZarnPResultSet(const ZarnPResultSet&) = delete;
    ZarnPResultSet& operator=(const ZarnPResultSet&) = delete;

    // Steps to the next row; true exactly when a row is ready.
    bool next();
    // Finalizes the statement and leaves the connection. Harmless when repeated.
    void close();
    bool isClosed() const { return statement_ == nullptr; }

    const std::string& query() const { return query_; }
    void setQuery(std::string query) { query_ = std::move(query); }
    // Used by the connection when it closes its open result sets.
    void setParentDB(std::shared_ptr<ZarnPDatabase> parent) { parentDB_ = std::move(parent); }

    // -1 (after a logged warning) when the query returns no column of that name. Names match
    // without regard to case; of two result columns with one name, the later one answers.
    int columnIndexForName(std::string_view columnName);

    int intForColumn(std::string_view columnName);
    int intForColumnIndex(int columnIdx);
    int64_t longForColumn(std::string_view columnName);
    int64_t longForColumnIndex(int columnIdx);
    bool boolForColumn(std::string_view columnName);
    bool boolForColumnIndex(int columnIdx);
    double doubleForColumn(std::string_view columnName);
    double doubleForColumnIndex(int columnIdx);
    std::optional<std::string> stringForColumn(std::string_view columnName);
    std::optional<std::string> stringForColumnIndex(int columnIdx);
    // The column read as seconds since 1970.
    std::optional<Date> dateForColumn(std::string_view columnName);
    std::optional<Date> dateForColumnIndex(int columnIdx);
    // A copy of the column's bytes; an empty blob reads as empty bytes, NULL as nothing.
    std::optional<std::string> dataForColumn(std::string_view columnName);
    std::optional<std::string> dataForColumnIndex(int columnIdx);
    bool columnIsNull(std::string_view columnName);
    bool columnIndexIsNull(int columnIdx);

  private:
    // Whether the index names a column of the row that is ready.
    bool readable(int columnIdx) const;
    void setupColumnNames();

    std::shared_ptr<ZarnPDatabase> parentDB_;
    std::unique_ptr<ZarnPStatement> statement_;
    std::string query_;
    std::unordered_map<std::string, int> columnNameToIndexMap_;
    bool columnNamesSetup_ = false;
    bool hasRow_ = false;
    int columnCount_ = 0;
};

}  // namespace zarn
