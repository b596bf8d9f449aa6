#include "sim/SimView.h"

#include <algorithm>

namespace zarn::sim {

SimViewCore::~SimViewCore() {
    for (auto& v : subviews_)
        if (auto* core = of(v))
            core->superview_ = nullptr;
}

SimViewCore* SimViewCore::of(const std::shared_ptr<platform::View>& view) {
    return dynamic_cast<SimViewCore*>(view.get());
}

void SimViewCore::addSubviewCore(std::shared_ptr<platform::View> subview, SimViewCore* core) {
    if (!subview)
        return;
    if (core) {
        if (core->superview_)
            core->removeFromSuperviewCore();
        core->superview_ = this;
    }
    subviews_.push_back(std::move(subview));
}

void SimViewCore::removeFromSuperviewCore() {
    auto* parent = superview_;
    if (!parent)
        return;
    superview_ = nullptr;
    // The parent's reference may be the last one: drop it after leaving this object alone.
    std::shared_ptr<platform::View> keep;
    auto& list = parent->subviews_;
    auto it = std::find_if(list.begin(), list.end(), [this](const auto& v) { return of(v) == this; });
    if (it != list.end()) {
        keep = std::move(*it);
        list.erase(it);
    }
}

void SimViewCore::layout() {
    if (layoutHandler_)
        layoutHandler_();
    auto subviews = subviews_;
    for (auto& v : subviews)
        if (auto* core = of(v))
            core->layout();
}

void SimButton::tap() {
    if (handler_) {
        auto handler = handler_;
        handler();
    }
}

}  // namespace zarn::sim
