#pragma once
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace zarn::platform {

// The platform's per-app defaults. Safe from any thread; a failed write is silent (the value
// then only lasts for this process).
//
// The library keeps only the log level here, the integer under "LoggerLevel": 0 NONE (nothing is
// logged), 1 ERROR, 2 WARN, 3 INFO, 4 DEBUG (everything); a line passes when its level is at
// most this one, so a value below 0 logs nothing and one above 4 everything. Without the key the
// level is 4. It is read once per process, at the library's first log line (so install() the
// defaults before initialising), and written back then, so a level set before one launch holds
// for every later one until it is changed.
class UserDefaults {
  public:
    virtual ~UserDefaults() = default;
    UserDefaults() = default;
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    virtual std::optional<long long> integerForKey(const std::string& key) = 0;
    virtual void setInteger(long long value, const std::string& key) = 0;
    virtual void synchronize() = 0;
};

// Defaults that live as long as the object.
class MemoryUserDefaults final : public UserDefaults {
  public:
    std::optional<long long> integerForKey(const std::string& key) override;
    void setInteger(long long value, const std::string& key) override;
    void synchronize() override {}

  private:
    std::mutex mutex_;
    std::map<std::string, long long> values_;
};

// Defaults kept in a small JSON file, read at creation and written by synchronize().
class FileUserDefaults final : public UserDefaults {
  public:
    explicit FileUserDefaults(std::string path);
    std::optional<long long> integerForKey(const std::string& key) override;
    void setInteger(long long value, const std::string& key) override;
    void synchronize() override;

  private:
    std::string path_;
    std::mutex mutex_;
    std::map<std::string, long long> values_;
};

}  // namespace zarn::platform
