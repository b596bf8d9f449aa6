#pragma once
#include <memory>
#include <mutex>
#include <vector>

#include "sim/SimView.h"
#include "sim/SimWebView.h"
#include "zarn/platform/Windows.h"

namespace zarn::sim {

// A scene whose activation state the test sets.
class SimScene final : public platform::Scene {
  public:
    explicit SimScene(platform::SceneActivationState state) : state_(state) {}
    platform::SceneActivationState activationState() override;
    void setActivationState(platform::SceneActivationState state);

  private:
    std::mutex mutex_;
    platform::SceneActivationState state_;
};

// A window that records its scene or frame, its root and whether it shows. It shows when it is
// key and visible, not hidden, and (on the scene road) has a scene.
class SimWindow final : public platform::Window {
  public:
    SimWindow(std::shared_ptr<platform::Scene> scene, std::optional<platform::Rect> frame)
        : scene_(std::move(scene)), frame_(frame) {}
    void setRootViewController(std::shared_ptr<ViewController> controller,
                               std::shared_ptr<platform::View> rootView) override;
    // Also runs a layout pass of the root view, as the system does when the window appears.
    void makeKeyAndVisible() override;
    void setHidden(bool hidden) override { hidden_ = hidden; }

    bool isShowing() const { return keyAndVisible_ && !hidden_ && (scene_ || frame_); }
    const std::shared_ptr<ViewController>& rootViewController() const { return root_; }
    const std::shared_ptr<platform::View>& rootView() const { return rootView_; }
    const std::shared_ptr<platform::Scene>& scene() const { return scene_; }
    const std::optional<platform::Rect>& frame() const { return frame_; }
    // A layout pass of the root view (after a rotation, say).
    void layout();

  private:
    std::shared_ptr<platform::Scene> scene_;
    std::optional<platform::Rect> frame_;
    std::shared_ptr<ViewController> root_;
    std::shared_ptr<platform::View> rootView_;
    bool keyAndVisible_ = false;
    bool hidden_ = false;
};

// The simulated window system: connected scenes the test sets up, a main screen, and every
// window and view made, held weakly so that a test sees what is released. Presented view
// controllers are kept per parent until dismissed. Safe from any thread.
class SimWindowSystem final : public platform::WindowSystem {
  public:
    struct Presentation {
        std::shared_ptr<ViewController> parent;
        std::shared_ptr<ViewController> controller;
        bool animated = false;
    };

    std::vector<std::shared_ptr<platform::Scene>> connectedScenes() override;
    platform::Rect mainScreenBounds() override;
    std::shared_ptr<platform::Window> createWindow(std::shared_ptr<platform::Scene> scene) override;
    std::shared_ptr<platform::Window> createWindow(platform::Rect frame) override;
    std::shared_ptr<platform::View> createView(platform::Rect frame) override;
    std::shared_ptr<platform::Button> createButton(platform::Rect frame,
                                                   const platform::ButtonStyle& style) override;
    std::shared_ptr<platform::ActivityIndicator> createActivityIndicator(platform::Rect frame,
                                                                         int style) override;
    std::shared_ptr<platform::WebView> createWebView(platform::Rect frame) override;
    void presentViewController(const std::shared_ptr<ViewController>& parent,
                               std::shared_ptr<ViewController> controller, bool animated) override;
    void dismissViewController(const std::shared_ptr<ViewController>& parent, bool animated) override;

    // Test side.
    std::shared_ptr<SimScene> addScene(platform::SceneActivationState state);
    void setMainScreenBounds(platform::Rect bounds);
    std::vector<std::weak_ptr<SimWindow>> windows();
    std::vector<std::weak_ptr<SimWebView>> webViews();
    std::vector<std::weak_ptr<SimButton>> buttons();
    std::vector<std::weak_ptr<SimActivityIndicator>> indicators();
    std::vector<std::weak_ptr<SimView>> views();
    std::vector<Presentation> presented();
    int dismissCount();
    // The windows made and not yet released.
    size_t liveWindowCount();

  private:
    std::mutex mutex_;
    std::vector<std::shared_ptr<platform::Scene>> scenes_;
    platform::Rect screen_{0, 0, 390, 844};
    std::vector<std::weak_ptr<SimWindow>> windows_;
    std::vector<std::weak_ptr<SimWebView>> webViews_;
    std::vector<std::weak_ptr<SimButton>> buttons_;
    std::vector<std::weak_ptr<SimActivityIndicator>> indicators_;
    std::vector<std::weak_ptr<SimView>> views_;
    std::vector<Presentation> presented_;
    int dismissCount_ = 0;
};

}  // namespace zarn::sim
