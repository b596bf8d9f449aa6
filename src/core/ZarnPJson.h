#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "zarn/Error.h"
#include "zarn/ValueFwd.h"

namespace zarn {

// JSON text to and from `Value`, with the platform serialiser's rules. Never throws; any
// thread.
class ZarnPJson {
  public:
    // The domain and code of a parse failure (those of the platform's JSON reader).
    static constexpr const char* kErrorDomain = "ZarnJson";
    static constexpr long kErrorCode = 3840;
    // Deeper nesting is refused, so that neither parsing nor later serialising recurses without
    // bound on hostile input.
    static constexpr std::size_t kMaxDepth = 512;

    // Parses UTF-8 JSON text. Only an object or an array is accepted at the top level unless
    // `allowFragments`. Invalid UTF-8, truncated or otherwise invalid text, trailing garbage,
    // numbers out of range and nesting deeper than kMaxDepth give nullopt and, when `error` is
    // given, an Error (kErrorDomain, kErrorCode, a message saying what went wrong).
    static std::optional<Value> parse(std::string_view text, Error* error = nullptr,
                                      bool allowFragments = false);

    // Compact JSON text (no white space). Invalid UTF-8 in strings is replaced by U+FFFD rather
    // than failing; numbers that are not finite are written as null.
    static std::string serialise(const Value& value);
};

}  // namespace zarn
