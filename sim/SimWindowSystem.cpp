#include "sim/SimWindowSystem.h"

#include <algorithm>

namespace zarn::sim {

platform::SceneActivationState SimScene::activationState() {
    std::lock_guard lk(mutex_);
    return state_;
}

void SimScene::setActivationState(platform::SceneActivationState state) {
    std::lock_guard lk(mutex_);
    state_ = state;
}

void SimWindow::setRootViewController(std::shared_ptr<ViewController> controller,
                                      std::shared_ptr<platform::View> rootView) {
    root_ = std::move(controller);
    rootView_ = std::move(rootView);
}

void SimWindow::makeKeyAndVisible() {
    keyAndVisible_ = true;
    hidden_ = false;
    layout();
}

void SimWindow::layout() {
    if (auto* core = SimViewCore::of(rootView_))
        core->layout();
}

std::vector<std::shared_ptr<platform::Scene>> SimWindowSystem::connectedScenes() {
    std::lock_guard lk(mutex_);
    return scenes_;
}

platform::Rect SimWindowSystem::mainScreenBounds() {
    std::lock_guard lk(mutex_);
    return screen_;
}

std::shared_ptr<platform::Window> SimWindowSystem::createWindow(std::shared_ptr<platform::Scene> scene) {
    auto w = std::make_shared<SimWindow>(std::move(scene), std::nullopt);
    std::lock_guard lk(mutex_);
    windows_.push_back(w);
    return w;
}

std::shared_ptr<platform::Window> SimWindowSystem::createWindow(platform::Rect frame) {
    auto w = std::make_shared<SimWindow>(nullptr, frame);
    std::lock_guard lk(mutex_);
    windows_.push_back(w);
    return w;
}

std::shared_ptr<platform::View> SimWindowSystem::createView(platform::Rect frame) {
    auto v = std::make_shared<SimView>(frame);
    std::lock_guard lk(mutex_);
    views_.push_back(v);
    return v;
}

std::shared_ptr<platform::Button> SimWindowSystem::createButton(platform::Rect frame,
                                                                const platform::ButtonStyle& style) {
    auto b = std::make_shared<SimButton>(frame, style);
    std::lock_guard lk(mutex_);
    buttons_.push_back(b);
    return b;
}

std::shared_ptr<platform::ActivityIndicator> SimWindowSystem::createActivityIndicator(platform::Rect frame,
                                                                                      int style) {
    auto i = std::make_shared<SimActivityIndicator>(frame, style);
    std::lock_guard lk(mutex_);
    indicators_.push_back(i);
    return i;
}

std::shared_ptr<platform::WebView> SimWindowSystem::createWebView(platform::Rect frame) {
    auto w = std::make_shared<SimWebView>(frame);
    std::lock_guard lk(mutex_);
    webViews_.push_back(w);
    return w;
}

void SimWindowSystem::presentViewController(const std::shared_ptr<ViewController>& parent,
                                            std::shared_ptr<ViewController> controller, bool animated) {
    if (!parent || !controller)
        return;
    std::lock_guard lk(mutex_);
    presented_.push_back({parent, std::move(controller), animated});
}

void SimWindowSystem::dismissViewController(const std::shared_ptr<ViewController>& parent, bool) {
    std::vector<Presentation> dropped;  // released outside the lock
    std::lock_guard lk(mutex_);
    ++dismissCount_;
    auto it = std::find_if(presented_.rbegin(), presented_.rend(),
                           [&](const Presentation& p) { return p.parent == parent; });
    if (it != presented_.rend()) {
        dropped.push_back(std::move(*it));
        presented_.erase(std::next(it).base());
    }
}

std::shared_ptr<SimScene> SimWindowSystem::addScene(platform::SceneActivationState state) {
    auto s = std::make_shared<SimScene>(state);
    std::lock_guard lk(mutex_);
    scenes_.push_back(s);
    return s;
}

void SimWindowSystem::setMainScreenBounds(platform::Rect bounds) {
    std::lock_guard lk(mutex_);
    screen_ = bounds;
}

std::vector<std::weak_ptr<SimWindow>> SimWindowSystem::windows() {
    std::lock_guard lk(mutex_);
    return windows_;
}

std::vector<std::weak_ptr<SimWebView>> SimWindowSystem::webViews() {
    std::lock_guard lk(mutex_);
    return webViews_;
}

std::vector<std::weak_ptr<SimButton>> SimWindowSystem::buttons() {
    std::lock_guard lk(mutex_);
    return buttons_;
}

std::vector<std::weak_ptr<SimActivityIndicator>> SimWindowSystem::indicators() {
    std::lock_guard lk(mutex_);
    return indicators_;
}

std::vector<std::weak_ptr<SimView>> SimWindowSystem::views() {
    std::lock_guard lk(mutex_);
    return views_;
}

std::vector<SimWindowSystem::Presentation> SimWindowSystem::presented() {
    std::lock_guard lk(mutex_);
    return presented_;
}

int SimWindowSystem::dismissCount() {
    std::lock_guard lk(mutex_);
    return dismissCount_;
}

size_t SimWindowSystem::liveWindowCount() {
    std::lock_guard lk(mutex_);
    return std::count_if(windows_.begin(), windows_.end(), [](const auto& w) { return !w.expired(); });
}

}  // namespace zarn::sim
