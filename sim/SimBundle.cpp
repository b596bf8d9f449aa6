#include "sim/SimBundle.h"

#include "zarn/Value.h"

namespace zarn::sim {

std::optional<Value> SimBundle::infoValue(const std::string& key) {
    std::lock_guard lk(mutex_);
    auto it = info_.find(key);
    if (it == info_.end())
        return std::nullopt;
    return it->second;
}

std::optional<std::string> SimBundle::pathForResource(const std::string& name) {
    std::lock_guard lk(mutex_);
    auto it = resources_.find(name);
    if (it == resources_.end())
        return std::nullopt;
    return it->second;
}

void SimBundle::setInfoValue(const std::string& key, std::optional<Value> value) {
    std::lock_guard lk(mutex_);
    if (value)
        info_[key] = *value;
    else
        info_.erase(key);
}

void SimBundle::setResourcePath(const std::string& name, std::optional<std::string> path) {
    std::lock_guard lk(mutex_);
    if (path)
        resources_[name] = *path;
    else
        resources_.erase(name);
}

}  // namespace zarn::sim
