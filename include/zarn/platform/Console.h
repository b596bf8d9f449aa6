#pragma once
#include <mutex>
#include <string>

namespace zarn::platform {

// Where console lines go (the platform's log console). write() is safe from any thread and
// never fails visibly.
class Console {
  public:
    virtual ~Console() = default;
    Console() = default;
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;
    virtual void write(const std::string& line) = 0;
};

// Standard error with a time stamp, one whole line per write.
class StdErrConsole final : public Console {
  public:
    void write(const std::string& line) override;

  private:
    std::mutex mutex_;
};

}  // namespace zarn::platform
