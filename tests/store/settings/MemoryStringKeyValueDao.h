#pragma once
// A string settings store in memory, for tests of what sits on top of the settings table.
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "store/settings/ZarnPStringKeyValueDao.h"

namespace zarn::test {

class MemoryStringKeyValueDao final : public ZarnPStringKeyValueDao {
  public:
    std::optional<std::string> getPropertyValueForKey(const std::string& key) override {
        std::lock_guard lk(mutex_);
        auto it = values_.find(key);
        if (it == values_.end())
            return std::nullopt;
        return it->second;
    }
    void setPropertyValue(const std::optional<std::string>& value, const std::string& key) override {
        std::lock_guard lk(mutex_);
        if (value)
            values_[key] = *value;  // nothing cannot be stored; the old value stays
    }
    void unsetPropertyKey(const std::string& key) override {
        std::lock_guard lk(mutex_);
        values_.erase(key);
    }
    bool isReadable() override { return true; }
    size_t size() {
        std::lock_guard lk(mutex_);
        return values_.size();
    }

  private:
    std::mutex mutex_;
    std::map<std::string, std::string> values_;
};

}  // namespace zarn::test
