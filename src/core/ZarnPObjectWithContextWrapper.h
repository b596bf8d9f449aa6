#pragma once
#include <any>
#include <memory>
#include <utility>

#include "core/ZarnPContext.h"

namespace zarn {

// An argument and its tracking context, carried together as the single object of a run-loop
// hop, a main-thread hop or a timer's user info. Both are held strongly (the object by value
// in a std::any, typically a std::shared_ptr).
class ZarnPObjectWithContextWrapper {
  public:
    ZarnPObjectWithContextWrapper(std::any object, std::shared_ptr<ZarnPContext> zarnContext)
        : object_(std::move(object)), zarnContext_(std::move(zarnContext)) {}

    const std::any& object() const { return object_; }
    void setObject(std::any object) { object_ = std::move(object); }
    // The object when it is a T, else nullptr.
    template <typename T>
    const T* objectAs() const {
        return std::any_cast<T>(&object_);
    }

    const std::shared_ptr<ZarnPContext>& zarnContext() const { return zarnContext_; }
    void setZarnContext(std::shared_ptr<ZarnPContext> context) { zarnContext_ = std::move(context); }

  private:
    std::any object_;
    std::shared_ptr<ZarnPContext> zarnContext_;
};

}  // namespace zarn
