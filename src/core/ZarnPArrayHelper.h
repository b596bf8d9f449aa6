#pragma once
#include <type_traits>
#include <utility>
#include <vector>

namespace zarn {

// Mapping over arrays. Header-only; any thread.
class ZarnPArrayHelper {
  public:
    // A new array with the block's result for each element, in order.
    template <typename T, typename F>
    static auto arrayMap(const std::vector<T>& array, F&& block) {
        using R = std::decay_t<std::invoke_result_t<F&, const T&>>;
        std::vector<R> out;
        out.reserve(array.size());
        for (const auto& element : array) out.push_back(block(element));
        return out;
    }

    // Calls the block for each element, in order.
    template <typename T, typename F>
    static void arrayForEach(const std::vector<T>& array, F&& block) {
        for (const auto& element : array) block(element);
    }
};

}  // namespace zarn
