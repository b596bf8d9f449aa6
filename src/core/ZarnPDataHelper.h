#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zarn {

// Base64 with the standard alphabet and "=" padding (RFC 4648). Stateless; any thread.
class ZarnPDataHelper {
  public:
    // Decodes the text's bytes. Every character outside the alphabet (line breaks, blanks, "=",
    // any other byte) is skipped; valid characters are taken four at a time (3 bytes), a final
    // group of 3 gives 2 bytes, of 2 gives 1 byte, and a single leftover character gives
    // nothing. Never fails: malformed text decodes to what its valid characters make.
    static std::vector<std::uint8_t> dataFromBase64String(std::string_view text);

    // The encoding as one line.
    static std::string base64EncodedStringSingleLine(std::span<const std::uint8_t> data);
    static std::string base64EncodedStringSingleLine(std::string_view data);
    // The encoding with "\r\n" after every 48 input bytes (64 characters), none after the last
    // line.
    static std::string base64EncodedString(std::span<const std::uint8_t> data);
    static std::string base64EncodedString(std::string_view data);
};

// The workers behind the class. They return owning containers rather than buffers that the
// caller frees; the out length is the container's size.
// `length` -1 means `input` is zero-terminated. A null input decodes to nothing.
std::vector<std::uint8_t> NewBase64Decode(const char* input, std::ptrdiff_t length);
// Line breaks as in base64EncodedString when `separateLines`, one line otherwise.
std::string NewBase64Encode(const void* buffer, std::size_t length, bool separateLines);

}  // namespace zarn
