#include <StormLib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "test_support.h"

using namespace docengine;
using testing_support::MakeCorpus;

namespace {

std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t>& in, const ImplodeOptions& options = {}) {
    static ImplodeEncoder encoder;
    std::vector<std::uint8_t> out(2 + in.size() * 2 + 16);
    std::size_t cb = 0;
    EXPECT_EQ(encoder.Compress(in.data(), in.size(), out.data(), out.size(), &cb, options), kImplodeOk);
    out.resize(cb);
    return out;
}

int Expand(const std::vector<std::uint8_t>& in, std::size_t cbRoom, std::vector<std::uint8_t>* pOut) {
    pOut->assign(cbRoom, 0);
    std::size_t cb = 0;
    const int result = Explode(in.data(), in.size(), pOut->data(), cbRoom, &cb);
    pOut->resize(cb);
    return result;
}

TEST(ImplodeCodec, DecodesTheReferenceExample) {
    // Binary literals, 1024 dictionary: "AIAIAIAIAIAIA".
    const std::vector<std::uint8_t> stream = {0x00, 0x04, 0x82, 0x24, 0x25, 0x8f, 0x80, 0x7f};
    std::vector<std::uint8_t> out;
    ASSERT_EQ(Expand(stream, 64, &out), kImplodeOk);
    EXPECT_EQ(std::string(out.begin(), out.end()), "AIAIAIAIAIAIA");
}

TEST(ImplodeCodec, RoundTripsEveryStreamForm) {
    for (const auto& item : MakeCorpus()) {
        for (bool bCoded : {false, true}) {
            for (unsigned dictBits : {4u, 5u, 6u}) {
                SCOPED_TRACE(item.strName + (bCoded ? " coded " : " binary ") + std::to_string(dictBits));
                const auto stream = Compress(item.bytes, ImplodeOptions{bCoded, dictBits});
                ASSERT_EQ(stream[0], bCoded ? 1 : 0);
                ASSERT_EQ(stream[1], dictBits);
                std::vector<std::uint8_t> out;
                ASSERT_EQ(Expand(stream, item.bytes.size(), &out), kImplodeOk);
                EXPECT_TRUE(out == item.bytes);
            }
        }
    }
}

TEST(ImplodeCodec, EmptyAndTinyInputs) {
    for (std::size_t n : {0, 1, 2, 3, 4, 7}) {
        std::vector<std::uint8_t> in(n, 'x');
        std::vector<std::uint8_t> out;
        ASSERT_EQ(Expand(Compress(in), n, &out), kImplodeOk) << n;
        EXPECT_EQ(out, in);
    }
}

TEST(ImplodeCodec, AReusedEncoderWritesTheSameStreams) {
    // The hash tables outlive a call; inputs of other sizes in between must
    // not change what a later call finds.
    const auto corpus = MakeCorpus();
    ImplodeEncoder reused;
    std::vector<std::uint8_t> a(80000), b(80000);
    for (int round = 0; round < 3; ++round) {
        for (const auto& item : corpus) {
            std::size_t cbA = 0, cbB = 0;
            ImplodeEncoder once;
            ASSERT_EQ(once.Compress(item.bytes.data(), item.bytes.size(), a.data(), a.size(), &cbA), kImplodeOk);
            ASSERT_EQ(reused.Compress(item.bytes.data(), item.bytes.size(), b.data(), b.size(), &cbB), kImplodeOk);
            ASSERT_EQ(cbA, cbB) << item.strName << " round " << round;
            EXPECT_EQ(std::memcmp(a.data(), b.data(), cbA), 0) << item.strName;
        }
    }
}

TEST(ImplodeCodec, EncoderReportsARoomTooSmall) {
    const auto random = MakeCorpus()[5].bytes;
    ImplodeEncoder encoder;
    std::vector<std::uint8_t> out(random.size());  // random data does not shrink
    std::size_t cb = 0;
    EXPECT_EQ(encoder.Compress(random.data(), random.size(), out.data(), out.size(), &cb), kImplodeOutputFull);
    // The same encoder still works afterwards.
    EXPECT_EQ(Expand(Compress(random), random.size(), &out), kImplodeOk);
    EXPECT_TRUE(out == random);
}

TEST(ImplodeCodec, RejectsMalformedStreams) {
    const std::vector<std::uint8_t> text = MakeCorpus()[0].bytes;
    const std::vector<std::uint8_t> good = Compress(text);
    struct Case {
        const char* pszName;
        std::vector<std::uint8_t> stream;
        std::size_t cbRoom;
        int expected;
    };
    std::vector<Case> cases = {
        {"empty", {}, 100, kImplodeTruncated},
        {"literal mode 2", {2, 6, 0, 0}, 100, kImplodeBadLiteralMode},
        {"dictionary 3", {0, 3, 0, 0}, 100, kImplodeBadDictionary},
        {"dictionary 7", {0, 7, 0, 0}, 100, kImplodeBadDictionary},
        {"header only", {0, 6}, 100, kImplodeTruncated},
        // A pair first: nothing to copy from.
        {"distance before start", {0, 6, 0x01, 0x00, 0x00, 0x00}, 100, kImplodeBadDistance},
        {"room too small", good, text.size() - 1, kImplodeOutputFull},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> out;
        EXPECT_EQ(Expand(c.stream, c.cbRoom, &out), c.expected) << c.pszName;
    }
}

TEST(ImplodeCodec, EveryTruncatedStreamFails) {
    for (bool bCoded : {false, true}) {
        const auto stream = Compress(MakeCorpus()[0].bytes, ImplodeOptions{bCoded, 6});
        for (std::size_t n = 0; n < stream.size(); ++n) {
            std::vector<std::uint8_t> prefix(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(n));
            std::vector<std::uint8_t> out;
            const int result = Expand(prefix, 8192, &out);
            ASSERT_LT(result, 0) << "prefix " << n;
        }
    }
}

TEST(ImplodeCodec, ReportsInputUsedUpToTheEndCode) {
    auto stream = Compress(MakeCorpus()[0].bytes);
    const std::size_t cbStream = stream.size();
    stream.insert(stream.end(), {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x11, 0x22, 0x33});
    std::vector<std::uint8_t> out(4096);
    std::size_t cbOut = 0, cbUsed = 0;
    ASSERT_EQ(Explode(stream.data(), stream.size(), out.data(), out.size(), &cbOut, &cbUsed), kImplodeOk);
    EXPECT_EQ(cbUsed, cbStream);
}

TEST(ImplodeInterop, ReferenceLibraryStreamsDecodeHere) {
    for (const auto& item : MakeCorpus()) {
        SCOPED_TRACE(item.strName);
        ASSERT_GE(item.bytes.size(), 3072u);
        std::vector<std::uint8_t> in = item.bytes;
        std::vector<std::uint8_t> stream(in.size() * 2 + 1024);
        int cbStream = static_cast<int>(stream.size());
        ASSERT_EQ(SCompImplode(stream.data(), &cbStream, in.data(), static_cast<int>(in.size())), 1);
        stream.resize(static_cast<std::size_t>(cbStream));
        ASSERT_EQ(stream[1], 6) << "the reference library picks the 4096 dictionary from 3072 bytes on";
        std::vector<std::uint8_t> out;
        ASSERT_EQ(Expand(stream, in.size(), &out), kImplodeOk);
        EXPECT_TRUE(out == item.bytes);
    }
}

TEST(ImplodeInterop, StreamsFromHereDecodeWithTheReferenceLibrary) {
    for (const auto& item : MakeCorpus()) {
        SCOPED_TRACE(item.strName);
        std::vector<std::uint8_t> stream = Compress(item.bytes);
        // The reference decoder wants a room at least as large as its input.
        std::vector<std::uint8_t> out(std::max(item.bytes.size(), stream.size()) + 64);
        int cbOut = static_cast<int>(out.size());
        ASSERT_EQ(SCompExplode(out.data(), &cbOut, stream.data(), static_cast<int>(stream.size())), 1);
        ASSERT_EQ(static_cast<std::size_t>(cbOut), item.bytes.size());
        EXPECT_EQ(std::memcmp(out.data(), item.bytes.data(), item.bytes.size()), 0);
    }
}

TEST(ImplodeInterop, SmallerDictionariesOfTheReferenceLibraryDecodeHere) {
    // Below 3072 bytes the reference library picks 1024 and 2048 dictionaries.
    const auto text = MakeCorpus()[1].bytes;
    for (std::size_t n : {1000u, 2500u}) {
        std::vector<std::uint8_t> in(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
        std::vector<std::uint8_t> stream(n * 2 + 1024);
        int cbStream = static_cast<int>(stream.size());
        ASSERT_EQ(SCompImplode(stream.data(), &cbStream, in.data(), static_cast<int>(n)), 1);
        stream.resize(static_cast<std::size_t>(cbStream));
        EXPECT_EQ(stream[1], n < 1536 ? 4 : 5);
        std::vector<std::uint8_t> out;
        ASSERT_EQ(Expand(stream, n, &out), kImplodeOk);
        EXPECT_TRUE(out == in);
    }
}

}  // namespace
