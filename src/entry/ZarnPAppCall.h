#pragma once
#include <exception>

#include "core/ZarnPLogger.h"

namespace zarn {

// The facade's roads log under one domain.
inline constexpr const char* kFacadeDomain = "ZarnInterface";

// Calls into the app never take the library down with them: what escapes is logged.
template <typename F>
void callApp(const char* what, F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        LogError(kFacadeDomain, "Unhandled exception in %@: %@", what, e.what());
    } catch (...) {
        LogError(kFacadeDomain, "Unhandled exception in %@", what);
    }
}

}  // namespace zarn
