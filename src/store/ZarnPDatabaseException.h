#pragma once
#include <utility>

#include "core/ZarnException.h"
#include "zarn/Error.h"

namespace zarn {

// "Zarn database exception" with the reason "Failed to execute query": a statement that must not
// fail silently has failed. Carries the error that describes the failure.
class ZarnPDatabaseException : public ZarnException {
  public:
    static constexpr const char* kName = "Zarn database exception";
    static constexpr const char* kReason = "Failed to execute query";

    explicit ZarnPDatabaseException(Error error) : ZarnException(kName, kReason), error_(std::move(error)) {}
    const Error& error() const { return error_; }

  private:
    Error error_;
};

}  // namespace zarn
