#pragma once
// Runs a step on the SDK thread of a timer wrapper (inline when already there) and waits for it.
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

#include "core/ZarnPSystemTimerDao.h"

namespace zarn::test {

// The step's answer, if it has one.
template <typename F>
auto onSdkThread(const std::shared_ptr<ZarnPSystemTimerDao>& timerDao, F f) {
    using R = decltype(f());
    if constexpr (std::is_void_v<R>) {
        timerDao->invokeBlockOnRunLoop(f, true);
    } else {
        std::optional<R> out;
        timerDao->invokeBlockOnRunLoop([&] { out.emplace(f()); }, true);
        return std::move(*out);
    }
}

}  // namespace zarn::test
