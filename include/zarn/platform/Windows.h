#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zarn {
class ViewController;
}

namespace zarn::platform {

// A rectangle in screen points.
struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const Rect&) const = default;
};

// The resizing a view follows when its parent changes size.
inline constexpr unsigned kAutoresizingFlexibleWidth = 2;
inline constexpr unsigned kAutoresizingFlexibleHeight = 16;

// A view of the platform's window system. Main thread only; nothing here fails.
class View {
  public:
    virtual ~View() = default;
    View() = default;
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    virtual Rect frame() = 0;
    virtual void setFrame(Rect frame) = 0;
    virtual void setAutoresizingMask(unsigned mask) = 0;
    virtual void setAutoresizesSubviews(bool autoresizes) = 0;
    virtual void setHidden(bool hidden) = 0;
    virtual bool isHidden() = 0;
    // The parent keeps its subviews; removing a view that has no parent does nothing.
    virtual void addSubview(std::shared_ptr<View> subview) = 0;
    virtual void removeFromSuperview() = 0;
    // Called on the main thread on every layout pass of this view (after it was sized).
    virtual void setLayoutHandler(std::function<void()> handler) = 0;
};

// How a button looks: one title for the normal and highlighted states.
struct ButtonStyle {
    std::string title;
    std::string fontName;
    double fontSize = 0;
    double cornerRadius = 0;
    bool clipsToBounds = false;
    bool centeredTitle = true;
    int numberOfLines = 1;  // 0: any number
    bool blackBackground = false;
    bool contentAlignedToTop = false;
};

// A push button. Main thread only.
class Button : public View {
  public:
    // The handler of a touch that ends inside the button; called on the main thread.
    virtual void setTouchUpInsideHandler(std::function<void()> handler) = 0;
};

// A spinning activity indicator. Main thread only.
class ActivityIndicator : public View {
  public:
    virtual void startAnimating() = 0;
};

// The foreground states of a scene, as the system numbers them.
enum class SceneActivationState : int {
    Unattached = -1,
    ForegroundActive = 0,
    ForegroundInactive = 1,
    Background = 2,
};

// One of the app's connected scenes (systems of version 13 and later). Main thread only.
class Scene {
  public:
    virtual ~Scene() = default;
    virtual SceneActivationState activationState() = 0;
};

// A window above the app's own. The window does not keep itself alive: its creator holds it
// until it is hidden and dropped. Main thread only.
class Window {
  public:
    virtual ~Window() = default;
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // The window holds the controller (null clears it) and shows `rootView`, its view.
    virtual void setRootViewController(std::shared_ptr<ViewController> controller,
                                       std::shared_ptr<View> rootView) = 0;
    virtual void makeKeyAndVisible() = 0;
    virtual void setHidden(bool hidden) = 0;
};

class WebView;

// The app's windows, scenes and screens, and the maker of the views the library shows. Main
// thread only. Creation never fails.
class WindowSystem {
  public:
    virtual ~WindowSystem() = default;
    WindowSystem() = default;
    WindowSystem(const WindowSystem&) = delete;
    WindowSystem& operator=(const WindowSystem&) = delete;

    // The connected scenes, in the system's order (empty before version 13).
    virtual std::vector<std::shared_ptr<Scene>> connectedScenes() = 0;
    // The main screen's bounds.
    virtual Rect mainScreenBounds() = 0;
    // A window for the scene; with no scene the window exists but never shows.
    virtual std::shared_ptr<Window> createWindow(std::shared_ptr<Scene> scene) = 0;
    // A window with the frame on the main screen (systems before version 13).
    virtual std::shared_ptr<Window> createWindow(Rect frame) = 0;
    virtual std::shared_ptr<View> createView(Rect frame) = 0;
    virtual std::shared_ptr<Button> createButton(Rect frame, const ButtonStyle& style) = 0;
    // Style 2 is the gray indicator.
    virtual std::shared_ptr<ActivityIndicator> createActivityIndicator(Rect frame, int style) = 0;
    virtual std::shared_ptr<WebView> createWebView(Rect frame) = 0;

    // `parent` presents `controller` full screen above itself (returns at once), and later
    // dismisses what it presents. A parent the system does not know presents nothing.
    virtual void presentViewController(const std::shared_ptr<ViewController>& parent,
                                       std::shared_ptr<ViewController> controller, bool animated) = 0;
    virtual void dismissViewController(const std::shared_ptr<ViewController>& parent, bool animated) = 0;
};

}  // namespace zarn::platform
