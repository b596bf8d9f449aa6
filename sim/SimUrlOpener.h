#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "zarn/platform/UrlOpener.h"

namespace zarn::sim {

// Records every address handed to the system and answers at once whether it opened: only the
// schemes the test lists open ("http" and "https" at first). Safe from any thread.
class SimUrlOpener final : public platform::UrlOpener {
  public:
    void openUrl(const std::string& url, std::function<void(bool)> completion) override;

    void setOpenableSchemes(std::vector<std::string> schemes);
    std::vector<std::string> opened();

  private:
    std::mutex mutex_;
    std::vector<std::string> schemes_{"http", "https"};
    std::vector<std::string> opened_;
};

}  // namespace zarn::sim
