#pragma once
#include <memory>
#include <mutex>
#include <string>
#include <vector>

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

// Keeps every line; for hosts and tests that read the console back.
class RecordingConsole final : public Console {
  public:
    explicit RecordingConsole(std::shared_ptr<Console> forward = nullptr) : forward_(std::move(forward)) {}
    void write(const std::string& line) override;
    std::vector<std::string> lines();
    bool contains(const std::string& fragment);
    void clear();

  private:
    std::shared_ptr<Console> forward_;
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace zarn::platform
