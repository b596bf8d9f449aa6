// gzip, Base64, identifiers and array mapping.
#include <gtest/gtest.h>

#include <zlib.h>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/ZarnPArrayHelper.h"
#include "core/ZarnPDataHelper.h"
#include "core/ZarnPGzipHelper.h"
#include "core/ZarnPUuidGenerator.h"

namespace zarn {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string text(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

// A zlib-format (not gzip) stream, to show that inflate detects the header.
Bytes zlibCompress(std::string_view data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes out(size);
    EXPECT_EQ(compress(out.data(), &size, reinterpret_cast<const Bytef*>(data.data()),
                       static_cast<uLong>(data.size())),
              Z_OK);
    out.resize(size);
    return out;
}

// ---- gzip -------------------------------------------------------------------------------

TEST(GzipTest, DeflateWritesGzipAndInflateReadsItBack) {
    auto compressed = ZarnPGzipHelper::gzipDeflate(std::string_view("abc"));
    ASSERT_TRUE(compressed.has_value());
    ASSERT_GE(compressed->size(), 3u);
    EXPECT_EQ((*compressed)[0], 0x1f);
    EXPECT_EQ((*compressed)[1], 0x8b);
    EXPECT_EQ((*compressed)[2], 0x08);
    auto back = ZarnPGzipHelper::gzipInflate(*compressed);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(text(*back), "abc");
}

TEST(GzipTest, EmptyInStaysEmptyOut) {
    auto deflated = ZarnPGzipHelper::gzipDeflate(Bytes{});
    ASSERT_TRUE(deflated.has_value());
    EXPECT_TRUE(deflated->empty());
    auto inflated = ZarnPGzipHelper::gzipInflate(Bytes{});
    ASSERT_TRUE(inflated.has_value());
    EXPECT_TRUE(inflated->empty());
}

TEST(GzipTest, RoundTripsAcrossTheBufferGrowthBoundaries) {
    // Deflate grows its buffer in steps of 16384 bytes; inflate in steps of half the input.
    std::uint32_t state = 12345;
    for (std::size_t size : {1u, 1023u, 1024u, 16383u, 16384u, 16385u, 100000u, 300000u}) {
        std::string incompressible(size, '\0');
        for (auto& c : incompressible) {
            state = state * 1664525u + 1013904223u;
            c = static_cast<char>(state >> 24);
        }
        for (const std::string& data : {incompressible, std::string(size, 'z')}) {
            auto compressed = ZarnPGzipHelper::gzipDeflate(data);
            ASSERT_TRUE(compressed.has_value()) << size;
            auto back = ZarnPGzipHelper::gzipInflate(*compressed);
            ASSERT_TRUE(back.has_value()) << size;
            EXPECT_EQ(text(*back), data) << size;
        }
    }
}

TEST(GzipTest, InflateAcceptsAZlibStream) {
    auto back = ZarnPGzipHelper::gzipInflate(zlibCompress("hello zlib"));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(text(*back), "hello zlib");
}

TEST(GzipTest, InflateRefusesDataThatIsNotCompleteCompressedData) {
    EXPECT_FALSE(ZarnPGzipHelper::gzipInflate(std::string_view("plain text, not compressed")).has_value());
    EXPECT_FALSE(ZarnPGzipHelper::gzipInflate(Bytes{0x1f}).has_value());
    EXPECT_FALSE(ZarnPGzipHelper::gzipInflate(Bytes{0x1f, 0x8b}).has_value());

    std::string data(5000, 'q');
    auto compressed = *ZarnPGzipHelper::gzipDeflate(data);
    // Every truncation, the gzip trailer included, is a failure.
    for (std::size_t cut = 1; cut < compressed.size(); ++cut) {
        Bytes truncated(compressed.begin(), compressed.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_FALSE(ZarnPGzipHelper::gzipInflate(truncated).has_value()) << cut;
    }
    // A damaged checksum is a failure.
    Bytes damaged = compressed;
    damaged[damaged.size() - 6] ^= 0x55;
    EXPECT_FALSE(ZarnPGzipHelper::gzipInflate(damaged).has_value());
}

TEST(GzipTest, InflateStopsPastTheSizeCap) {
    // 10 MiB of zeros compress to about 10 KiB: a small bomb.
    std::string big(10u << 20, '\0');
    auto compressed = *ZarnPGzipHelper::gzipDeflate(big);
    EXPECT_LT(compressed.size(), 64u << 10);

    EXPECT_FALSE(ZarnPGzipHelper::gzipInflate(compressed, (10u << 20) - 1).has_value());
    EXPECT_FALSE(ZarnPGzipHelper::gzipInflate(compressed, 1u << 20).has_value());
    auto exact = ZarnPGzipHelper::gzipInflate(compressed, 10u << 20);
    ASSERT_TRUE(exact.has_value());
    EXPECT_EQ(exact->size(), big.size());
    // The default cap (64 MiB) lets it through.
    EXPECT_TRUE(ZarnPGzipHelper::gzipInflate(compressed).has_value());
    EXPECT_EQ(ZarnPGzipHelper::kDefaultMaxInflatedSize, 64u << 20);
}

TEST(GzipTest, ACapOfZeroStillAcceptsAnEmptyStream) {
    Bytes gzipOfNothing;
    {
        // gzip of zero bytes, made with zlib directly (gzipDeflate returns empty input as is).
        z_stream s{};
        ASSERT_EQ(deflateInit2(&s, -1, 8, 31, 8, 0), Z_OK);
        Bytes out(64);
        s.next_out = out.data();
        s.avail_out = static_cast<uInt>(out.size());
        ASSERT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
        out.resize(out.size() - s.avail_out);
        deflateEnd(&s);
        gzipOfNothing = out;
    }
    auto back = ZarnPGzipHelper::gzipInflate(gzipOfNothing, 0);
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(back->empty());
    EXPECT_FALSE(
        ZarnPGzipHelper::gzipInflate(*ZarnPGzipHelper::gzipDeflate(std::string_view("a")), 0).has_value());
}

// ---- Base64 -----------------------------------------------------------------------------

TEST(Base64Test, EncodesSingleLineWithPadding) {
    const std::vector<std::pair<std::string, std::string>> cases = {{"", ""},
                                                                    {"a", "YQ=="},
                                                                    {"ab", "YWI="},
                                                                    {"abc", "YWJj"},
                                                                    {"abcd", "YWJjZA=="},
                                                                    {"foobar", "Zm9vYmFy"},
                                                                    {"\xff\xfe\xfd", "//79"},
                                                                    {std::string("\0\0", 2), "AAA="}};
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(ZarnPDataHelper::base64EncodedStringSingleLine(in), out) << in;
        EXPECT_EQ(text(ZarnPDataHelper::dataFromBase64String(out)), in) << out;
    }
}

TEST(Base64Test, WrappedEncodingBreaksEveryFortyEightInputBytes) {
    std::string b48(48, 'x'), b49(49, 'x'), b96(96, 'x'), b97(97, 'x');
    EXPECT_EQ(ZarnPDataHelper::base64EncodedString(b48).find('\n'), std::string::npos);
    EXPECT_EQ(ZarnPDataHelper::base64EncodedString(b48).size(), 64u);

    std::string wrapped49 = ZarnPDataHelper::base64EncodedString(b49);
    EXPECT_EQ(wrapped49.size(), 64u + 2u + 4u);
    EXPECT_EQ(wrapped49.substr(64, 2), "\r\n");
    EXPECT_EQ(wrapped49.find("\r\n", 66), std::string::npos);

    // No break after the last line, also when it is full.
    std::string wrapped96 = ZarnPDataHelper::base64EncodedString(b96);
    EXPECT_EQ(wrapped96.size(), 128u + 2u);
    EXPECT_EQ(wrapped96.substr(64, 2), "\r\n");
    std::string wrapped97 = ZarnPDataHelper::base64EncodedString(b97);
    EXPECT_EQ(wrapped97.size(), 4u * 33u + 4u);
    EXPECT_EQ(wrapped97.substr(wrapped97.size() - 4), "eA==");

    // The single-line form never breaks; both decode to the input.
    EXPECT_EQ(ZarnPDataHelper::base64EncodedStringSingleLine(b97).find('\r'), std::string::npos);
    EXPECT_EQ(text(ZarnPDataHelper::dataFromBase64String(wrapped97)), b97);
}

TEST(Base64Test, DecodingSkipsEverythingOutsideTheAlphabet) {
    EXPECT_EQ(text(ZarnPDataHelper::dataFromBase64String("YW Jj\n")), "abc");
    EXPECT_EQ(text(ZarnPDataHelper::dataFromBase64String("\r\nY\tW\x01J\xffj")), "abc");
    EXPECT_EQ(text(ZarnPDataHelper::dataFromBase64String("YWI=")), "ab");
    EXPECT_EQ(text(ZarnPDataHelper::dataFromBase64String("YQ")), "a");
}

TEST(Base64Test, TrailingCharactersThatFormNoGroupAddNothing) {
    // The mended fault: a trailing line break (or any non-alphabet character) after a whole
    // group used to take a byte off the result.
    EXPECT_EQ(text(ZarnPDataHelper::dataFromBase64String("YWJj\n")), "abc");
    EXPECT_EQ(text(ZarnPDataHelper::dataFromBase64String("YWJj\r\n")), "abc");
    EXPECT_EQ(text(ZarnPDataHelper::dataFromBase64String("YWJj====")), "abc");
    // One leftover valid character makes no byte.
    EXPECT_EQ(text(ZarnPDataHelper::dataFromBase64String("YWJjZ")), "abc");
    EXPECT_EQ(text(ZarnPDataHelper::dataFromBase64String("Z")), "");
    EXPECT_TRUE(ZarnPDataHelper::dataFromBase64String("").empty());
    EXPECT_TRUE(ZarnPDataHelper::dataFromBase64String("\n\n==").empty());
}

TEST(Base64Test, TheCFunctionsTakeALengthOrAZeroTerminatedText) {
    EXPECT_EQ(text(NewBase64Decode("YWJj", -1)), "abc");
    EXPECT_EQ(text(NewBase64Decode("YWJjYWJj", 4)), "abc");
    EXPECT_TRUE(NewBase64Decode(nullptr, 10).empty());
    EXPECT_EQ(NewBase64Encode("abc", 3, false), "YWJj");
    EXPECT_EQ(NewBase64Encode(nullptr, 3, true), "");
}

// ---- Identifiers ------------------------------------------------------------------------

bool isHex(char c, bool upper) {
    return (c >= '0' && c <= '9') || (upper ? (c >= 'A' && c <= 'F') : (c >= 'a' && c <= 'f'));
}

TEST(UuidGeneratorTest, CreateGivesUpperCaseVersionFourText) {
    ZarnPUuidGenerator generator;
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        std::string id = generator.create();
        ASSERT_EQ(id.size(), 36u);
        for (std::size_t k = 0; k < id.size(); ++k) {
            if (k == 8 || k == 13 || k == 18 || k == 23)
                EXPECT_EQ(id[k], '-') << id;
            else
                EXPECT_TRUE(isHex(id[k], true)) << id;
        }
        EXPECT_EQ(id[14], '4') << id;
        EXPECT_NE(std::string("89AB").find(id[19]), std::string::npos) << id;
        EXPECT_TRUE(seen.insert(id).second);
    }
}

TEST(UuidGeneratorTest, CreateLowerCaseIsThirtyTwoLowerHexDigits) {
    ZarnPUuidGenerator generator;
    std::string id = generator.createLowerCase();
    ASSERT_EQ(id.size(), 32u);
    for (char c : id) EXPECT_TRUE(isHex(c, false)) << id;
}

TEST(UuidGeneratorTest, ATestCanReplaceTheGeneratorAndTheLowerCaseFormFollows) {
    struct Fixed : ZarnPUuidGenerator {
        std::string create() override { return "0A1B2C3D-4E5F-4A6B-8C7D-8E9F0A1B2C3D"; }
    } fixed;
    ZarnPUuidGenerator& generator = fixed;
    EXPECT_EQ(generator.create(), "0A1B2C3D-4E5F-4A6B-8C7D-8E9F0A1B2C3D");
    EXPECT_EQ(generator.createLowerCase(), "0a1b2c3d4e5f4a6b8c7d8e9f0a1b2c3d");
}

TEST(UuidGeneratorTest, SafeFromSeveralThreads) {
    ZarnPUuidGenerator generator;
    std::vector<std::set<std::string>> perThread(4);
    std::vector<std::thread> threads;
    for (auto& ids : perThread)
        threads.emplace_back([&generator, &ids] {
            for (int i = 0; i < 250; ++i) ids.insert(generator.createLowerCase());
        });
    for (auto& t : threads) t.join();
    std::set<std::string> all;
    for (auto& ids : perThread) all.insert(ids.begin(), ids.end());
    EXPECT_EQ(all.size(), 1000u);
}

// ---- Arrays -----------------------------------------------------------------------------

TEST(ArrayHelperTest, MapKeepsOrderAndForEachVisitsAll) {
    std::vector<int> in = {3, 1, 2};
    auto out = ZarnPArrayHelper::arrayMap(in, [](int v) { return std::to_string(v * 10); });
    EXPECT_EQ(out, (std::vector<std::string>{"30", "10", "20"}));
    EXPECT_TRUE(ZarnPArrayHelper::arrayMap(std::vector<int>{}, [](int v) { return v; }).empty());
    std::vector<int> visited;
    ZarnPArrayHelper::arrayForEach(in, [&](int v) { visited.push_back(v); });
    EXPECT_EQ(visited, in);
}

}  // namespace
}  // namespace zarn
