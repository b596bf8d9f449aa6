#pragma once
#include <mutex>
#include <set>
#include <string>

#include "zarn/platform/RuntimeClasses.h"

namespace zarn::sim {

// The classes the simulated host links: none until the test adds them. Any thread.
class SimRuntimeClasses : public platform::RuntimeClasses {
  public:
    bool classExists(const std::string& name) override;
    void addClass(const std::string& name);
    void removeClass(const std::string& name);

  private:
    std::mutex mutex_;
    std::set<std::string> classes_;
};

}  // namespace zarn::sim
