#pragma once
#include <mutex>
#include <string>

namespace zarn::platform {

// Where console lines go (the platform's log console). write() is safe from any thread and
// never fails visibly.
//
// A log line comes as "LEVEL|domain| message", without a time stamp or a line end: LEVEL is
// ERROR, WARN, INFO or DEBUG (which of them pass is "LoggerLevel", UserDefaults.h), and domain
// is one word naming the part of the library that logged: "Zarn" for the entry's lines about
// how the host uses it ("ERROR|Zarn| Zarn hasn't been initialized. ...", missing services, a
// main loop nobody runs), "ZarnInterface" for a configuration it cannot apply ("No public token
// set"). A few lines have no level: the public debug log's "Zarn| ..." lines while it is on
// (ZarnDebug, or an app whose display name holds "zarn"), the debug entry's warning text, and
// notes that pass no filter (a wake-up handler that threw, an error met while storing one).
class Console {
  public:
    virtual ~Console() = default;
    Console() = default;
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;
    virtual void write(const std::string& line) = 0;
};

// Standard error, one whole line per write, after the local time ("2026-05-04 09:30:00.125 ").
class StdErrConsole final : public Console {
  public:
    void write(const std::string& line) override;

  private:
    std::mutex mutex_;
};

}  // namespace zarn::platform
