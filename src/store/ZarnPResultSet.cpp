#include "store/ZarnPResultSet.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>

#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPStatement.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "DB";

std::string lowercase(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}
}  // namespace

std::unique_ptr<ZarnPResultSet> ZarnPResultSet::resultSetWithStatement(
    std::unique_ptr<ZarnPStatement> statement, std::shared_ptr<ZarnPDatabase> parentDatabase) {
    return std::make_unique<ZarnPResultSet>(std::move(statement), std::move(parentDatabase));
}

ZarnPResultSet::ZarnPResultSet(std::unique_ptr<ZarnPStatement> statement,
                               std::shared_ptr<ZarnPDatabase> parentDatabase)
    : parentDB_(std::move(parentDatabase)), statement_(std::move(statement)) {
    if (statement_) {
        query_ = statement_->query();
        if (statement_->statement())
            columnCount_ = sqlite3_column_count(statement_->statement());
    }
}

ZarnPResultSet::~ZarnPResultSet() {
    close();
}

void ZarnPResultSet::close() {
    hasRow_ = false;
    if (statement_) {
        statement_->reset();
        statement_.reset();
    }
    if (parentDB_) {
        // Keep the connection alive until it has forgotten this set.
        auto parent = std::move(parentDB_);
        parent->resultSetDidClose(this);
    }
}

bool ZarnPResultSet::next() {
    hasRow_ = false;
    if (!statement_ || !statement_->statement())
        return false;
    sqlite3_stmt* stmt = statement_->statement();
    sqlite3* db = sqlite3_db_handle(stmt);
    int retries = 0;
    int rc;
    for (;;) {
        rc = sqlite3_step(stmt);
        if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED)
            break;
        if (rc == SQLITE_LOCKED) {
            int resetRc = sqlite3_reset(stmt);
            if (resetRc != SQLITE_LOCKED)
                LogInfo(kDomain, "Unexpected result from sqlite3_reset (%d) rs", resetRc);
        }
        bool again = parentDB_ ? parentDB_->retryWhileBusy(retries, "Database busy")
                               : (LogInfo(kDomain, "Database busy"), false);
        if (!again)
            break;
    }
    if (rc == SQLITE_ROW) {
        hasRow_ = true;
        return true;
    }
    if (parentDB_)
        parentDB_->noteResult(rc);
    if (rc == SQLITE_ERROR || rc == SQLITE_MISUSE) {
        LogInfo(kDomain, "Error calling sqlite3_step (%d: %s) rs", rc, sqlite3_errmsg(db));
    } else if (rc != SQLITE_DONE && rc != SQLITE_BUSY && rc != SQLITE_LOCKED) {
        LogInfo(kDomain, "Unknown error calling sqlite3_step (%d: %s) rs", rc, sqlite3_errmsg(db));
    }
    close();
    return false;
}

void ZarnPResultSet::setupColumnNames() {
    columnNamesSetup_ = true;
    if (!statement_ || !statement_->statement())
        return;
    for (int i = 0; i < columnCount_; ++i) {
        const char* name = sqlite3_column_name(statement_->statement(), i);
        if (name)
            columnNameToIndexMap_[lowercase(name)] = i;  // the later column of a name wins
    }
}

int ZarnPResultSet::columnIndexForName(std::string_view columnName) {
    if (!columnNamesSetup_)
        setupColumnNames();
    std::string name = lowercase(columnName);
    auto it = columnNameToIndexMap_.find(name);
    if (it != columnNameToIndexMap_.end())
        return it->second;
    LogInfo(kDomain, "Warning: I could not find the column named '%@'.", name);
    return -1;
}

bool ZarnPResultSet::readable(int columnIdx) const {
    return hasRow_ && statement_ && statement_->statement() && columnIdx >= 0 && columnIdx < columnCount_;
}

int ZarnPResultSet::intForColumnIndex(int columnIdx) {
    return readable(columnIdx) ? sqlite3_column_int(statement_->statement(), columnIdx) : 0;
}

int64_t ZarnPResultSet::longForColumnIndex(int columnIdx) {
    return readable(columnIdx) ? sqlite3_column_int64(statement_->statement(), columnIdx) : 0;
}

// Read at 64 bits: a large integer whose low 32 bits are 0 is still true.
bool ZarnPResultSet::boolForColumnIndex(int columnIdx) {
    return longForColumnIndex(columnIdx) != 0;
}

double ZarnPResultSet::doubleForColumnIndex(int columnIdx) {
    return readable(columnIdx) ? sqlite3_column_double(statement_->statement(), columnIdx) : 0.0;
}

bool ZarnPResultSet::columnIndexIsNull(int columnIdx) {
    return !readable(columnIdx) || sqlite3_column_type(statement_->statement(), columnIdx) == SQLITE_NULL;
}

std::optional<std::string> ZarnPResultSet::stringForColumnIndex(int columnIdx) {
    if (columnIndexIsNull(columnIdx))
        return std::nullopt;
    sqlite3_stmt* stmt = statement_->statement();
    const unsigned char* text = sqlite3_column_text(stmt, columnIdx);
    if (!text)
        return std::nullopt;  // out of memory
    return std::string(reinterpret_cast<const char*>(text),
                       static_cast<size_t>(sqlite3_column_bytes(stmt, columnIdx)));
}

std::optional<Date> ZarnPResultSet::dateForColumnIndex(int columnIdx) {
    if (columnIndexIsNull(columnIdx))
        return std::nullopt;
    return dateWithTimeIntervalSince1970(doubleForColumnIndex(columnIdx));
}

std::optional<std::string> ZarnPResultSet::dataForColumnIndex(int columnIdx) {
    if (columnIndexIsNull(columnIdx))
        return std::nullopt;
    sqlite3_stmt* stmt = statement_->statement();
    const void* bytes = sqlite3_column_blob(stmt, columnIdx);
    int length = sqlite3_column_bytes(stmt, columnIdx);
    if (!bytes || length <= 0)
        return std::string();
    return std::string(static_cast<const char*>(bytes), static_cast<size_t>(length));
}

int ZarnPResultSet::intForColumn(std::string_view columnName) {
    return intForColumnIndex(columnIndexForName(columnName));
}
int64_t ZarnPResultSet::longForColumn(std::string_view columnName) {
    return longForColumnIndex(columnIndexForName(columnName));
}
bool ZarnPResultSet::boolForColumn(std::string_view columnName) {
    return boolForColumnIndex(columnIndexForName(columnName));
}
double ZarnPResultSet::doubleForColumn(std::string_view columnName) {
    return doubleForColumnIndex(columnIndexForName(columnName));
}
std::optional<std::string> ZarnPResultSet::stringForColumn(std::string_view columnName) {
    return stringForColumnIndex(columnIndexForName(columnName));
}
std::optional<Date> ZarnPResultSet::dateForColumn(std::string_view columnName) {
    return dateForColumnIndex(columnIndexForName(columnName));
}
std::optional<std::string> ZarnPResultSet::dataForColumn(std::string_view columnName) {
    return dataForColumnIndex(columnIndexForName(columnName));
}
bool ZarnPResultSet::columnIsNull(std::string_view columnName) {
    return columnIndexIsNull(columnIndexForName(columnName));
}

}  // namespace zarn
