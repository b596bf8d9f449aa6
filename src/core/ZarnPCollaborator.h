#pragma once
#include <concepts>
#include <cstddef>
#include <memory>

#include "core/ZarnException.h"

namespace zarn {

enum class ZarnPNeed { Required, Optional };

// One collaborator among the parts a class is built from. It has no default, so a builder names
// every part it fills: a part added to a class and left out where the parts are filled does not
// compile. A required one given null stops the process where it is given (only a faulty build
// can do that, as with ZARN_REQUIRE); an optional one is given nullptr to say there is none.
template <typename T, ZarnPNeed Need>
class ZarnPCollaborator {
  public:
    // Where it is given: the builder's function, file and line, said when a required one is null.
    template <typename U>
    requires std::convertible_to<U*, T*> ZarnPCollaborator(std::shared_ptr<U> object,
                                                           const char* function = __builtin_FUNCTION(),
                                                           const char* file = __builtin_FILE(),
                                                           int line = __builtin_LINE())
        : object_(std::move(object)) {
        if constexpr (Need == ZarnPNeed::Required) {
            if (!object_)
                detail::requireFailed(function, file, line);
        }
    }
    ZarnPCollaborator(std::nullptr_t) requires(Need == ZarnPNeed::Optional) {}
    ZarnPCollaborator() = delete;

    T* operator->() const { return object_.get(); }
    T& operator*() const { return *object_; }
    explicit operator bool() const { return static_cast<bool>(object_); }
    const std::shared_ptr<T>& shared() const { return object_; }
    template <typename U>
    requires std::convertible_to<T*, U*>
    operator std::shared_ptr<U>() const { return object_; }

  private:
    std::shared_ptr<T> object_;
};

template <typename T>
using ZarnPRequired = ZarnPCollaborator<T, ZarnPNeed::Required>;
template <typename T>
using ZarnPOptional = ZarnPCollaborator<T, ZarnPNeed::Optional>;

}  // namespace zarn
