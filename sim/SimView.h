#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "zarn/platform/Windows.h"

namespace zarn::sim {

// What every simulated view records: its frame, resizing, visibility, subviews and layout
// handler. A layout pass (layout()) calls the handler of this view and then of its subviews.
// Main thread only, like the views it stands for.
class SimViewCore {
  public:
    SimViewCore() = default;
    SimViewCore(const SimViewCore&) = delete;
    SimViewCore& operator=(const SimViewCore&) = delete;
    virtual ~SimViewCore();

    platform::Rect frame_;
    unsigned autoresizingMask_ = 0;
    bool autoresizesSubviews_ = false;
    bool hidden_ = false;
    std::vector<std::shared_ptr<platform::View>> subviews_;
    SimViewCore* superview_ = nullptr;
    std::function<void()> layoutHandler_;

    void addSubviewCore(std::shared_ptr<platform::View> subview, SimViewCore* core);
    void removeFromSuperviewCore();
    void layout();
    bool hasSuperview() const { return superview_ != nullptr; }
    // The core of a simulated view, or null for a view of another kind.
    static SimViewCore* of(const std::shared_ptr<platform::View>& view);
};

// Implements the View operations of interface I over a SimViewCore.
template <typename I>
class SimViewBase : public I, public SimViewCore {
  public:
    explicit SimViewBase(platform::Rect frame) { frame_ = frame; }
    platform::Rect frame() override { return frame_; }
    void setFrame(platform::Rect frame) override { frame_ = frame; }
    void setAutoresizingMask(unsigned mask) override { autoresizingMask_ = mask; }
    void setAutoresizesSubviews(bool autoresizes) override { autoresizesSubviews_ = autoresizes; }
    void setHidden(bool hidden) override { hidden_ = hidden; }
    bool isHidden() override { return hidden_; }
    void addSubview(std::shared_ptr<platform::View> subview) override {
        auto* core = SimViewCore::of(subview);
        addSubviewCore(std::move(subview), core);
    }
    void removeFromSuperview() override { removeFromSuperviewCore(); }
    void setLayoutHandler(std::function<void()> handler) override { layoutHandler_ = std::move(handler); }
};

using SimView = SimViewBase<platform::View>;

// A button that records its style; a test taps it.
class SimButton final : public SimViewBase<platform::Button> {
  public:
    SimButton(platform::Rect frame, platform::ButtonStyle style)
        : SimViewBase(frame), style_(std::move(style)) {}
    void setTouchUpInsideHandler(std::function<void()> handler) override { handler_ = std::move(handler); }
    // The user's touch ending inside the button.
    void tap();
    const platform::ButtonStyle& style() const { return style_; }

  private:
    platform::ButtonStyle style_;
    std::function<void()> handler_;
};

class SimActivityIndicator final : public SimViewBase<platform::ActivityIndicator> {
  public:
    SimActivityIndicator(platform::Rect frame, int style) : SimViewBase(frame), style_(style) {}
    void startAnimating() override { animating_ = true; }
    bool isAnimating() const { return animating_; }
    int style() const { return style_; }

  private:
    int style_;
    bool animating_ = false;
};

}  // namespace zarn::sim
