#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "zarn/platform/SystemInfo.h"

namespace zarn::sim {

struct Alert {
    std::string title;
    std::string message;
    std::vector<std::string> buttons;
};

// Keeps every alert the library showed, in order; none is ever closed. Any thread.
class SimAlertPresenter : public platform::AlertPresenter {
  public:
    void showAlert(const std::string& title, const std::string& message,
                   const std::vector<std::string>& buttons) override;
    std::vector<Alert> alerts();

  private:
    std::mutex mutex_;
    std::vector<Alert> alerts_;
};

}  // namespace zarn::sim
