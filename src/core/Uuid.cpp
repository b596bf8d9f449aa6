#include "core/Uuid.h"

#include <random>

namespace zarn {

namespace {

// One generator per thread, each seeded from std::random_device, so no lock is needed.
std::mt19937_64& threadGenerator() {
    thread_local std::mt19937_64 generator = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }();
    return generator;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string formatBytes(const std::array<std::uint8_t, 16>& bytes, const char* digits) {
    std::string out;
    out.reserve(36);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            out.push_back('-');
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 0x0f]);
    }
    return out;
}

}  // namespace

Uuid Uuid::random() {
    std::array<std::uint8_t, 16> bytes{};
    auto& generator = threadGenerator();
    for (std::size_t i = 0; i < bytes.size(); i += 8) {
        std::uint64_t word = generator();
        for (std::size_t k = 0; k < 8; ++k) bytes[i + k] = static_cast<std::uint8_t>(word >> (8 * k));
    }
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0f) | 0x40);  // version 4
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3f) | 0x80);  // RFC 4122 variant
    return Uuid(bytes);
}

std::optional<Uuid> Uuid::fromString(std::string_view text) {
    if (text.size() != 36)
        return std::nullopt;
    std::array<std::uint8_t, 16> bytes{};
    std::size_t out = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-')
                return std::nullopt;
            ++i;
            continue;
        }
        int hi = hexValue(text[i]);
        int lo = i + 1 < text.size() ? hexValue(text[i + 1]) : -1;
        if (hi < 0 || lo < 0 || out >= bytes.size())
            return std::nullopt;
        bytes[out++] = static_cast<std::uint8_t>(hi << 4 | lo);
        i += 2;
    }
    if (out != bytes.size())
        return std::nullopt;
    return Uuid(bytes);
}

std::string Uuid::uuidString() const {
    return formatBytes(bytes_, "0123456789ABCDEF");
}
std::string Uuid::lowerCaseString() const {
    return formatBytes(bytes_, "0123456789abcdef");
}

}  // namespace zarn
