#include "zarn/platform/NotificationCenter.h"

#include <algorithm>

namespace zarn::platform {

void NotificationCenter::addObserver(const void* owner, const std::string& name, Observer observer,
                                     const void* object) {
    auto reg = std::make_shared<Registration>(Registration{owner, name, object, std::move(observer)});
    std::lock_guard lk(mutex_);
    registrations_.push_back(std::move(reg));
}

void NotificationCenter::removeObserver(const void* owner) {
    std::lock_guard lk(mutex_);
    std::erase_if(registrations_, [&](const std::shared_ptr<Registration>& r) {
        if (r->owner != owner)
            return false;
        r->removed = true;
        return true;
    });
}

void NotificationCenter::removeObserver(const void* owner, const std::string& name) {
    std::lock_guard lk(mutex_);
    std::erase_if(registrations_, [&](const std::shared_ptr<Registration>& r) {
        if (r->owner != owner || r->name != name)
            return false;
        r->removed = true;
        return true;
    });
}

void NotificationCenter::post(const std::string& name, std::shared_ptr<void> object,
                              Broadcast::UserInfo userInfo) {
    Broadcast broadcast{name, std::move(object), std::move(userInfo)};
    std::vector<std::shared_ptr<Registration>> targets;
    {
        std::lock_guard lk(mutex_);
        for (auto& r : registrations_)
            if ((r->name.empty() || r->name == name) && (!r->object || r->object == broadcast.object.get()))
                targets.push_back(r);
    }
    for (auto& r : targets) {
        bool removed;
        {
            std::lock_guard lk(mutex_);
            removed = r->removed;
        }
        if (!removed)
            r->observer(broadcast);
    }
}

size_t NotificationCenter::observerCount() {
    std::lock_guard lk(mutex_);
    return registrations_.size();
}

}  // namespace zarn::platform
