#pragma once
#include "zarn/Error.h"

namespace zarn {

// Where the logger sends each logged error object before its line is written (the crash
// reporter, when the host has one). Called on the logging thread; must not log.
class ZarnPErrorRecorder {
  public:
    virtual ~ZarnPErrorRecorder() = default;
    virtual void recordError(const Error& error) = 0;
};

}  // namespace zarn
