#pragma once
#include <stdexcept>
#include <string>

namespace zarn {

// A raised condition: a name ("NSGenericException", "Zarn database exception") and a reason.
class ZarnException : public std::runtime_error {
  public:
    ZarnException(std::string name, std::string reason)
        : std::runtime_error(reason), name_(std::move(name)), reason_(std::move(reason)) {}
    const std::string& name() const { return name_; }
    const std::string& reason() const { return reason_; }
    std::string description() const { return reason_; }

  private:
    std::string name_;
    std::string reason_;
};

namespace detail {
[[noreturn]] void requireFailed(const char* expression, const char* file, int line);
}

}  // namespace zarn

// A missing required collaborator: an ERROR line, then abort, in every build type.
#define ZARN_REQUIRE(expr)                                            \
    do {                                                              \
        if (!(expr))                                                  \
            ::zarn::detail::requireFailed(#expr, __FILE__, __LINE__); \
    } while (0)
