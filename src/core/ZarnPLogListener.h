#pragma once
#include <string>

namespace zarn {

// Receives every line that passes the logger's filter, on the logging thread. A listener may
// log itself; it must not assume any particular thread.
class ZarnPLogListener {
  public:
    virtual ~ZarnPLogListener() = default;
    virtual void didLogMessage(const std::string& message, int level, const std::string& domain) = 0;
};

}  // namespace zarn
