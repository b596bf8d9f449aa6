#include "core/ZarnPDataHelper.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace zarn {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t kInvalid = 0xff;
constexpr std::size_t kInputLineLength = 48;  // 64 output characters per line

constexpr std::array<std::uint8_t, 256> makeDecodeTable() {
    std::array<std::uint8_t, 256> table{};
    for (auto& v : table) v = kInvalid;
    for (std::uint8_t i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = i;
    return table;
}
constexpr std::array<std::uint8_t, 256> kDecode = makeDecodeTable();

void appendGroup(std::string& out, const std::uint8_t* in, std::size_t n) {
    // n is 1, 2 or 3
    std::uint32_t v = static_cast<std::uint32_t>(in[0]) << 16;
    if (n > 1)
        v |= static_cast<std::uint32_t>(in[1]) << 8;
    if (n > 2)
        v |= in[2];
    out.push_back(kAlphabet[(v >> 18) & 0x3f]);
    out.push_back(kAlphabet[(v >> 12) & 0x3f]);
    out.push_back(n > 1 ? kAlphabet[(v >> 6) & 0x3f] : '=');
    out.push_back(n > 2 ? kAlphabet[v & 0x3f] : '=');
}

}  // namespace

std::vector<std::uint8_t> NewBase64Decode(const char* input, std::ptrdiff_t length) {
    std::vector<std::uint8_t> out;
    if (!input)
        return out;
    std::size_t n = length < 0 ? std::strlen(input) : static_cast<std::size_t>(length);
    out.reserve(3 * ((n + 3) / 4));
    std::array<std::uint8_t, 4> group{};
    std::size_t count = 0;
    auto flush = [&] {
        // 4 characters give 3 bytes, 3 give 2, 2 give 1, 1 gives nothing.
        if (count >= 2)
            out.push_back(static_cast<std::uint8_t>(group[0] << 2 | group[1] >> 4));
        if (count >= 3)
            out.push_back(static_cast<std::uint8_t>(group[1] << 4 | group[2] >> 2));
        if (count >= 4)
            out.push_back(static_cast<std::uint8_t>(group[2] << 6 | group[3]));
        count = 0;
    };
    for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t v = kDecode[static_cast<unsigned char>(input[i])];
        if (v == kInvalid)
            continue;
        group[count++] = v;
        if (count == group.size())
            flush();
    }
    flush();
    return out;
}

std::string NewBase64Encode(const void* buffer, std::size_t length, bool separateLines) {
    std::string out;
    if (!buffer || length == 0)
        return out;
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    std::size_t size = 4 * ((length + 2) / 3);
    if (separateLines)
        size += 2 * ((length - 1) / kInputLineLength);
    out.reserve(size);
    std::size_t lineLength = separateLines ? kInputLineLength : length;
    for (std::size_t lineStart = 0; lineStart < length; lineStart += lineLength) {
        if (lineStart > 0)
            out += "\r\n";
        std::size_t lineEnd = lineStart + std::min(lineLength, length - lineStart);
        for (std::size_t i = lineStart; i < lineEnd; i += 3)
            appendGroup(out, in + i, std::min<std::size_t>(3, lineEnd - i));
    }
    return out;
}

std::vector<std::uint8_t> ZarnPDataHelper::dataFromBase64String(std::string_view text) {
    return NewBase64Decode(text.data() ? text.data() : "", static_cast<std::ptrdiff_t>(text.size()));
}

std::string ZarnPDataHelper::base64EncodedStringSingleLine(std::span<const std::uint8_t> data) {
    return NewBase64Encode(data.data(), data.size(), false);
}
std::string ZarnPDataHelper::base64EncodedStringSingleLine(std::string_view data) {
    return NewBase64Encode(data.data(), data.size(), false);
}
std::string ZarnPDataHelper::base64EncodedString(std::span<const std::uint8_t> data) {
    return NewBase64Encode(data.data(), data.size(), true);
}
std::string ZarnPDataHelper::base64EncodedString(std::string_view data) {
    return NewBase64Encode(data.data(), data.size(), true);
}

}  // namespace zarn
