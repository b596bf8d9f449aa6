#pragma once
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "zarn/platform/SystemInfo.h"

namespace zarn::sim {

// An app bundle whose information values and resource files the test sets. Any thread.
class SimBundle : public platform::Bundle {
  public:
    std::optional<Value> infoValue(const std::string& key) override;
    std::optional<std::string> pathForResource(const std::string& name) override;
    // Nothing removes the value or the resource.
    void setInfoValue(const std::string& key, std::optional<Value> value);
    void setResourcePath(const std::string& name, std::optional<std::string> path);

  private:
    std::mutex mutex_;
    std::map<std::string, Value> info_;
    std::map<std::string, std::string> resources_;
};

}  // namespace zarn::sim
