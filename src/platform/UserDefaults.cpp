#include "zarn/platform/UserDefaults.h"

#include <fstream>
#include <sstream>

#include "zarn/Value.h"

namespace zarn::platform {

std::optional<long long> MemoryUserDefaults::integerForKey(const std::string& key) {
    std::lock_guard lk(mutex_);
    auto it = values_.find(key);
    if (it == values_.end())
        return std::nullopt;
    return it->second;
}

void MemoryUserDefaults::setInteger(long long value, const std::string& key) {
    std::lock_guard lk(mutex_);
    values_[key] = value;
}

FileUserDefaults::FileUserDefaults(std::string path) : path_(std::move(path)) {
    std::ifstream in(path_);
    if (!in)
        return;
    std::stringstream ss;
    ss << in.rdbuf();
    Value v = Value::parse(ss.str(), nullptr, false);
    if (!v.is_object())
        return;
    for (auto& [k, x] : v.items())
        if (x.is_number_integer())
            values_[k] = x.get<long long>();
}

std::optional<long long> FileUserDefaults::integerForKey(const std::string& key) {
    std::lock_guard lk(mutex_);
    auto it = values_.find(key);
    if (it == values_.end())
        return std::nullopt;
    return it->second;
}

void FileUserDefaults::setInteger(long long value, const std::string& key) {
    std::lock_guard lk(mutex_);
    values_[key] = value;
}

void FileUserDefaults::synchronize() {
    Value v = Value::object();
    {
        std::lock_guard lk(mutex_);
        for (auto& [k, x] : values_) v[k] = x;
    }
    std::string tmp = path_ + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        if (!out)
            return;
        out << v.dump();
        if (!out)
            return;
    }
    std::rename(tmp.c_str(), path_.c_str());
}

}  // namespace zarn::platform
