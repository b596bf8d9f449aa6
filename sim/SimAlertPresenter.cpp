#include "sim/SimAlertPresenter.h"

namespace zarn::sim {

void SimAlertPresenter::showAlert(const std::string& title, const std::string& message,
                                  const std::vector<std::string>& buttons) {
    std::lock_guard lk(mutex_);
    alerts_.push_back({title, message, buttons});
}

std::vector<Alert> SimAlertPresenter::alerts() {
    std::lock_guard lk(mutex_);
    return alerts_;
}

}  // namespace zarn::sim
