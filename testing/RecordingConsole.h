#pragma once
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "zarn/platform/Console.h"

namespace zarn::platform {

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
