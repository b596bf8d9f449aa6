// Fuzz-style runs over the decoders that see untrusted input (pushed payloads, action texts):
// random and mutated inputs from a fixed seed, bounded in count and time. Under the ASan
// build any out-of-bounds access or undefined behaviour fails the run; the assertions check
// the properties that must hold for every input.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/ZarnPDataHelper.h"
#include "core/ZarnPGzipHelper.h"
#include "core/ZarnPJson.h"
#include "zarn/Value.h"

namespace zarn {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kIterations = 20000;
// A run stops early rather than hold up the suite on a slow (sanitised) machine.
constexpr auto kTimeBudget = std::chrono::seconds(30);

class Fuzzer {
  public:
    explicit Fuzzer(std::uint32_t seed) : rng_(seed), start_(std::chrono::steady_clock::now()) {}

    bool outOfTime() const { return std::chrono::steady_clock::now() - start_ > kTimeBudget; }

    std::size_t below(std::size_t n) {
        return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
    }
    std::uint8_t byte() { return static_cast<std::uint8_t>(below(256)); }

    Bytes randomBytes(std::size_t maxSize) {
        Bytes out(below(maxSize + 1));
        for (auto& b : out) b = byte();
        return out;
    }

    // Random text drawn mostly from `alphabet`, with some arbitrary bytes.
    std::string randomText(std::size_t maxSize, std::string_view alphabet) {
        std::string out(below(maxSize + 1), '\0');
        for (auto& c : out) c = below(10) == 0 ? static_cast<char>(byte()) : alphabet[below(alphabet.size())];
        return out;
    }

    // One to four mutations: bit flips, byte changes, insertions, deletions, truncation,
    // duplicated chunks.
    template <typename Container>
    Container mutate(Container data) {
        std::size_t rounds = 1 + below(4);
        for (std::size_t r = 0; r < rounds; ++r) {
            switch (below(6)) {
                case 0:
                    if (!data.empty())
                        data[below(data.size())] ^= static_cast<char>(1u << below(8));
                    break;
                case 1:
                    if (!data.empty())
                        data[below(data.size())] = static_cast<typename Container::value_type>(byte());
                    break;
                case 2:
                    data.insert(data.begin() + static_cast<std::ptrdiff_t>(below(data.size() + 1)),
                                static_cast<typename Container::value_type>(byte()));
                    break;
                case 3:
                    if (!data.empty())
                        data.erase(data.begin() + static_cast<std::ptrdiff_t>(below(data.size())));
                    break;
                case 4:
                    data.resize(below(data.size() + 1));
                    break;
                case 5:
                    if (!data.empty()) {
                        std::size_t from = below(data.size());
                        std::size_t len = 1 + below(std::min<std::size_t>(data.size() - from, 64));
                        Container chunk(data.begin() + static_cast<std::ptrdiff_t>(from),
                                        data.begin() + static_cast<std::ptrdiff_t>(from + len));
                        data.insert(data.begin() + static_cast<std::ptrdiff_t>(below(data.size() + 1)),
                                    chunk.begin(), chunk.end());
                    }
                    break;
            }
        }
        return data;
    }

  private:
    std::mt19937 rng_;
    std::chrono::steady_clock::time_point start_;
};

constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=\r\n ";

bool isBase64Char(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

TEST(EncodingFuzzTest, Base64DecoderOnRandomAndMutatedText) {
    Fuzzer fuzz(0xB64);
    for (int i = 0; i < kIterations && !fuzz.outOfTime(); ++i) {
        std::string input;
        if (i % 2 == 0) {
            input = fuzz.randomText(200, kBase64Alphabet);
        } else {
            Bytes original = fuzz.randomBytes(150);
            std::string encoded = i % 4 == 1 ? ZarnPDataHelper::base64EncodedString(original)
                                             : ZarnPDataHelper::base64EncodedStringSingleLine(original);
            // Unmutated, the round trip is exact.
            ASSERT_EQ(ZarnPDataHelper::dataFromBase64String(encoded), original);
            input = fuzz.mutate(encoded);
        }
        auto decoded = ZarnPDataHelper::dataFromBase64String(input);
        std::size_t valid = 0;
        for (unsigned char c : input) valid += isBase64Char(c) ? 1 : 0;
        std::size_t expected = 3 * (valid / 4) + (valid % 4 > 1 ? valid % 4 - 1 : 0);
        ASSERT_EQ(decoded.size(), expected) << "iteration " << i;
        // Through the C entry with an explicit length: the same bytes.
        ASSERT_EQ(NewBase64Decode(input.data(), static_cast<std::ptrdiff_t>(input.size())), decoded);
    }
}

TEST(EncodingFuzzTest, GzipInflateOnRandomAndMutatedStreams) {
    Fuzzer fuzz(0x6219);
    // Small cap, so that a mutation that turns into a bomb is stopped quickly.
    constexpr std::size_t kCap = 1u << 20;
    std::vector<Bytes> seeds;
    for (std::string text :
         {std::string("abc"), std::string(3000, 'a'), std::string("{\"notifications\":[1,2,3]}")}) {
        seeds.push_back(*ZarnPGzipHelper::gzipDeflate(text));
    }
    for (int i = 0; i < kIterations && !fuzz.outOfTime(); ++i) {
        Bytes input;
        switch (i % 4) {
            case 0:
                input = fuzz.randomBytes(300);
                break;
            case 1: {
                // A valid header in front of random bytes reaches deeper into the decoder.
                input = {0x1f, 0x8b, 0x08, 0x00, 0, 0, 0, 0, 0x00, 0x03};
                Bytes tail = fuzz.randomBytes(200);
                input.insert(input.end(), tail.begin(), tail.end());
                break;
            }
            case 2:
                input = fuzz.mutate(seeds[fuzz.below(seeds.size())]);
                break;
            case 3: {
                Bytes original = fuzz.randomBytes(400);
                auto compressed = ZarnPGzipHelper::gzipDeflate(original);
                ASSERT_TRUE(compressed.has_value());
                auto back = ZarnPGzipHelper::gzipInflate(*compressed, kCap);
                ASSERT_TRUE(back.has_value());
                ASSERT_EQ(*back, original);
                input = fuzz.mutate(*compressed);
                break;
            }
        }
        auto out = ZarnPGzipHelper::gzipInflate(input, kCap);
        if (out) {
            ASSERT_LE(out->size(), kCap);
        }
    }
}

TEST(EncodingFuzzTest, JsonParseAndSerialiseOnRandomAndMutatedText) {
    Fuzzer fuzz(0x1503);
    const std::vector<std::string> seeds = {
        R"({"iosAppUrl":"app://x","iosFallbackUrl":"https://example.org/?a=1&b=%20"})",
        R"([1,-2.5e3,true,false,null,"\u00e9\ud83d\ude00\n",{"a":[[]]}])",
        R"({"match_payload":{"store":"42","nested":{"k":[1,2,{"z":null}]}},"n":18446744073709551615})",
        "{\"utf8\":\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\"}",
    };
    constexpr std::string_view kJsonAlphabet = "{}[]\",:0123456789.eE+-truefalsn\\u \t\n";
    for (int i = 0; i < kIterations && !fuzz.outOfTime(); ++i) {
        std::string input =
            i % 3 == 0 ? fuzz.randomText(120, kJsonAlphabet) : fuzz.mutate(seeds[fuzz.below(seeds.size())]);
        Error error;
        std::optional<Value> parsed;
        ASSERT_NO_THROW(parsed = ZarnPJson::parse(input, &error, i % 5 == 0)) << input;
        if (!parsed) {
            ASSERT_EQ(error.code, ZarnPJson::kErrorCode);
            continue;
        }
        if (i % 5 != 0) {
            ASSERT_TRUE(parsed->is_object() || parsed->is_array());
        }
        // What parses serialises, and parses back to the same value.
        std::string text;
        ASSERT_NO_THROW(text = ZarnPJson::serialise(*parsed));
        auto again = ZarnPJson::parse(text, nullptr, true);
        ASSERT_TRUE(again.has_value()) << text;
        ASSERT_EQ(*again, *parsed) << text;
    }
}

TEST(EncodingFuzzTest, JsonSerialiseOfArbitraryBytesInStrings) {
    Fuzzer fuzz(0x5e71);
    for (int i = 0; i < kIterations && !fuzz.outOfTime(); ++i) {
        Bytes raw = fuzz.randomBytes(40);
        std::string s(raw.begin(), raw.end());
        Value v = {{"k", s}, {s, Value::array({s, i})}};
        std::string text;
        ASSERT_NO_THROW(text = ZarnPJson::serialise(v));
        ASSERT_FALSE(text.empty());
        // Replaced or not, the output is valid JSON.
        ASSERT_TRUE(ZarnPJson::parse(text).has_value()) << text;
    }
}

}  // namespace
}  // namespace zarn
