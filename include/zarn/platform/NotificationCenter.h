#pragma once
#include <any>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zarn::platform {

// A broadcast: a name, the posting object (may be empty) and a userInfo dictionary whose
// values are any objects (hooks, tasks, contexts, locations).
struct Broadcast {
    using UserInfo = std::map<std::string, std::any>;
    std::string name;
    std::shared_ptr<void> object;
    UserInfo userInfo;

    // The userInfo entry under `key` as a T, or nothing when absent or of another type.
    template <typename T>
    std::optional<T> get(const std::string& key) const {
        auto it = userInfo.find(key);
        if (it == userInfo.end())
            return std::nullopt;
        if (auto p = std::any_cast<T>(&it->second))
            return *p;
        return std::nullopt;
    }
};

// An in-process notification centre. post() delivers synchronously, on the posting thread, to
// the observers registered when it began; an observer removed during a delivery is not called
// afterwards, and one added during a delivery only hears later posts. Every method is safe from
// any thread, also from inside an observer.
class NotificationCenter {
  public:
    using Observer = std::function<void(const Broadcast&)>;
    NotificationCenter() = default;
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // Registers `observer` for `name` (empty: every name), from posts whose object is `object`
    // (null: any object). `owner` identifies the registration for removeObserver().
    void addObserver(const void* owner, const std::string& name, Observer observer,
                     const void* object = nullptr);
    // Removes every registration of the owner, or only those for `name`.
    void removeObserver(const void* owner);
    void removeObserver(const void* owner, const std::string& name);

    void post(const std::string& name, std::shared_ptr<void> object = nullptr,
              Broadcast::UserInfo userInfo = {});

    size_t observerCount();

  private:
    struct Registration {
        const void* owner;
        std::string name;
        const void* object;
        Observer observer;
        bool removed = false;
    };
    std::mutex mutex_;
    std::vector<std::shared_ptr<Registration>> registrations_;
};

}  // namespace zarn::platform
