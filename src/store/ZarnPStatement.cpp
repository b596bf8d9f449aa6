#include "store/ZarnPStatement.h"

#include <sqlite3.h>

#include "store/ZarnPDatabase.h"

namespace zarn {

ZarnPStatement::ZarnPStatement(ZarnPDatabase* owner, sqlite3_stmt* statement, std::string query)
    : owner_(owner), statement_(statement), query_(std::move(query)) {
    if (owner_)
        owner_->statementCreated(this);
}

ZarnPStatement::~ZarnPStatement() {
    close();
}

void ZarnPStatement::close() {
    if (statement_) {
        if (reusable_ && owner_)
            owner_->putBack(statement_);
        else
            sqlite3_finalize(statement_);
        statement_ = nullptr;
    }
    if (owner_) {
        owner_->statementDidClose(this);
        owner_ = nullptr;
    }
}

void ZarnPStatement::reset() {
    if (statement_)
        sqlite3_reset(statement_);
}

}  // namespace zarn
