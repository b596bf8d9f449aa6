#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zarn {

// A 128-bit UUID (the platform's UUID object): the identity of a tracking context and the
// proximity UUID of a beacon region. A plain value; safe to copy between threads.
class Uuid {
  public:
    // The nil UUID (all zero bits).
    Uuid() = default;
    explicit Uuid(const std::array<std::uint8_t, 16>& bytes) : bytes_(bytes) {}

    // A new random (version 4, RFC 4122 variant) UUID from a thread-safe source that
    // std::random_device seeds. Any thread.
    static Uuid random();

    // Parses the standard 36-character form (8-4-4-4-12 hexadecimal digits with dashes, either
    // case); any other text gives nullopt.
    static std::optional<Uuid> fromString(std::string_view text);

    // The standard 36-character form in upper case (what the platform's UUIDString gives).
    std::string uuidString() const;
    // The same in lower case.
    std::string lowerCaseString() const;
    std::string description() const { return uuidString(); }

    const std::array<std::uint8_t, 16>& bytes() const { return bytes_; }

    bool operator==(const Uuid&) const = default;
    auto operator<=>(const Uuid&) const = default;

  private:
    std::array<std::uint8_t, 16> bytes_{};
};

}  // namespace zarn

template <>
struct std::hash<zarn::Uuid> {
    std::size_t operator()(const zarn::Uuid& u) const noexcept {
        std::size_t h = 1469598103934665603ull;
        for (auto b : u.bytes()) h = (h ^ b) * 1099511628211ull;
        return h;
    }
};
