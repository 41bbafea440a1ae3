#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "test_support.h"

using namespace docengine;
using testing_support::CodeOf;
using testing_support::OnBytes;
using testing_support::OpenCode;

namespace {

DocumentDescription TwoPages(bool bCompress) {
    DocumentDescription d;
    d.strText1 = "first";
    d.bCompress = bCompress;
    d.pages.push_back({"page one", "menu text", 1728, 2200});
    d.pages.push_back({"page two", "", 1000, 1500});
    return d;
}

// Byte patching of an uncompressed document: header fields by their offset
// in the header payload, page entries by page and field offset.
struct Patcher {
    std::vector<std::uint8_t> bytes;
    std::uint32_t U32At(std::size_t pos) const {
        return bytes[pos] | (bytes[pos + 1] << 8) | (bytes[pos + 2] << 16) | (std::uint32_t{bytes[pos + 3]} << 24);
    }
    void Put16(std::size_t pos, std::uint16_t v) { PutU16(bytes.data() + pos, v); }
    void Put32(std::size_t pos, std::uint32_t v) { PutU32(bytes.data() + pos, v); }
    void Header16(std::size_t field, std::uint16_t v) { Put16(20 + field, v); }
    void Header32(std::size_t field, std::uint32_t v) { Put32(20 + field, v); }
    std::uint32_t Header32Value(std::size_t field) const { return U32At(20 + field); }
    std::size_t Entry(unsigned page) const { return Header32Value(150) + 8 + page * kWrittenPageEntrySize; }
    void Page16(unsigned page, std::size_t field, std::uint16_t v) { Put16(Entry(page) + field, v); }
    void Page32(unsigned page, std::size_t field, std::uint32_t v) { Put32(Entry(page) + field, v); }
};

Patcher ValidPatcher() { return Patcher{BuildDocument(TwoPages(false))}; }

struct PatchCase {
    const char* pszName;
    std::function<void(Patcher&)> patch;
    LibraryErrorCode expected;
};

void RunCases(const std::vector<PatchCase>& cases) {
    for (const PatchCase& c : cases) {
        Patcher p = ValidPatcher();
        c.patch(p);
        EXPECT_EQ(OpenCode(p.bytes), c.expected) << c.pszName;
    }
}

TEST(OpenDocument, ValidDocumentsOpenWithTheirPages) {
    for (bool bCompress : {false, true}) {
        const auto bytes = BuildDocument(TwoPages(bCompress));
        auto doc = OnBytes(bytes);
        ASSERT_EQ(CodeOf([&] { doc->OpenDocument(); }), LIBERR_OK) << bCompress;
        ASSERT_EQ(doc->Pages().size(), 2u);
        EXPECT_EQ(doc->Pages()[1].nWidthBase, 1000);
        EXPECT_EQ(doc->DocumentLength(), bytes.size());
        std::vector<std::uint8_t> buffer;
        const PageTextView text = doc->ReadPageText(doc->Pages()[0].dwText2Offset, true, buffer);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(text.pbText), text.cchText), "menu text");
    }
}

TEST(OpenDocument, HeaderChecksInTheirOrder) {
    RunCases({
        {"page table offset -1", [](Patcher& p) { p.Header32(150, kNoOffset); }, LIBERR_INVALID_DATA},
        {"page count 0", [](Patcher& p) { p.Header16(136, 0); }, LIBERR_INVALID_DATA},
        {"page count 32768", [](Patcher& p) { p.Header16(136, 32768); }, LIBERR_INVALID_DATA},
        {"count B above count A", [](Patcher& p) { p.Header16(140, 2); }, LIBERR_INVALID_DATA},
        {"horizontal resolution 0", [](Patcher& p) { p.Header16(128, 0); }, LIBERR_INVALID_DATA},
        {"vertical resolution 32768", [](Patcher& p) { p.Header16(130, 32768); }, LIBERR_INVALID_DATA},
        {"table B without table A",
         [](Patcher& p) {
             p.Header32(158, p.Header32Value(154));
             p.Header32(154, kNoOffset);
         },
         LIBERR_INVALID_DATA},
        {"largest width 0", [](Patcher& p) { p.Header16(132, 0); }, LIBERR_INVALID_DATA},
        {"largest height 40000", [](Patcher& p) { p.Header16(134, 40000); }, LIBERR_INVALID_DATA},
        {"highest page below page count", [](Patcher& p) { p.Header16(178, 1); }, LIBERR_INVALID_DATA},
        {"count C 257", [](Patcher& p) { p.Header16(142, 257); }, LIBERR_INVALID_DATA},
        {"first time stamp month 12", [](Patcher& p) { p.bytes[20 + 102 + 4] = 12; }, LIBERR_INVALID_DATA},
        {"second time stamp day 0", [](Patcher& p) { p.bytes[20 + 112 + 3] = 0; }, LIBERR_INVALID_DATA},
        {"second time stamp second 60", [](Patcher& p) { p.bytes[20 + 112] = 60; }, LIBERR_INVALID_DATA},
        {"table A count without offset", [](Patcher& p) { p.Header32(154, kNoOffset); }, LIBERR_INVALID_DATA},
        {"table A offset without count", [](Patcher& p) { p.Header16(138, 0); }, LIBERR_INVALID_DATA},
        {"table A offset not aligned", [](Patcher& p) { p.Header32(154, p.Header32Value(154) + 2); }, LIBERR_INVALID_DATA},
        {"table D offset inside the header", [](Patcher& p) { p.Header16(144, 1), p.Header32(166, 8); }, LIBERR_INVALID_DATA},
        {"table C offset beyond L - 8",
         [](Patcher& p) {
             p.Header16(142, 1);
             p.Header32(162, static_cast<std::uint32_t>(p.bytes.size() - 4));
         },
         LIBERR_INVALID_DATA},
        {"protection offset not aligned", [](Patcher& p) { p.Header32(124, 214); }, LIBERR_INVALID_DATA},
        {"version 266", [](Patcher& p) { p.Header16(0, 266); }, LIBERR_OLD_VERSION},
        // Checks run in order: an old version is reported before a bad count.
        {"version 266 and page count 0",
         [](Patcher& p) {
             p.Header16(0, 266);
             p.Header16(136, 0);
         },
         LIBERR_OLD_VERSION},
        {"version 282 under the written tag", [](Patcher& p) { p.Header16(0, 282); }, LIBERR_OK},
        {"version 281 under the old tag",
         [](Patcher& p) {
             p.Header16(0, 281);
             p.Put16(0, 0xFED5);
         },
         LIBERR_OK},
        {"version 282 under the old tag",
         [](Patcher& p) {
             p.Header16(0, 282);
             p.Put16(0, 0xFED5);
         },
         LIBERR_VERSION},
        {"protection offset 0 reads as none", [](Patcher& p) { p.Header32(124, 0); }, LIBERR_OK},
    });
}

TEST(OpenDocument, OuterRecordChecks) {
    RunCases({
        {"no document tag", [](Patcher& p) { p.Put16(0, 0x1234); }, LIBERR_BAD_FORMAT},
        {"length 4 too large", [](Patcher& p) { p.Put32(2, static_cast<std::uint32_t>(p.bytes.size() + 4)); }, LIBERR_BAD_FORMAT},
        {"length 4 too small", [](Patcher& p) { p.Put32(2, static_cast<std::uint32_t>(p.bytes.size() - 4)); }, LIBERR_BAD_FORMAT},
        {"length not a multiple of 4",
         [](Patcher& p) {
             p.bytes.push_back(0);
             p.Put32(2, static_cast<std::uint32_t>(p.bytes.size()));
         },
         LIBERR_BAD_FORMAT},
        {"header kind 2", [](Patcher& p) { p.Put16(8, static_cast<std::uint16_t>(-2)); }, LIBERR_INVALID_DATA},
        {"header payload 176 bytes",
         [](Patcher& p) {
             // Shrink the header record: its payload ends early, the rest is
             // left as an unreferenced gap.
             p.Put32(10, 12 + 176);
         },
         LIBERR_INVALID_DATA},
        {"header record flag bit 0", [](Patcher& p) { p.Put16(18, 1); }, LIBERR_INVALID_DATA},
    });
    EXPECT_EQ(OpenCode({0xDC, 0xFE, 7, 0, 0, 0, 0}), LIBERR_BAD_FORMAT) << "shorter than 8 bytes";
}

TEST(OpenDocument, PageEntryChecks) {
    RunCases({
        {"width beyond the largest", [](Patcher& p) { p.Page16(1, 0, 1729); }, LIBERR_INVALID_DATA},
        {"height 0", [](Patcher& p) { p.Page16(1, 2, 0); }, LIBERR_INVALID_DATA},
        {"page resolution 0 (no division by zero)", [](Patcher& p) { p.Page16(1, 42, 0); }, LIBERR_INVALID_DATA},
        {"page resolution above the base", [](Patcher& p) { p.Page16(0, 44, 201); }, LIBERR_INVALID_DATA},
        {"text without data", [](Patcher& p) { p.Page32(1, 4, kNoOffset); }, LIBERR_INVALID_DATA},
        {"data offset not aligned", [](Patcher& p) { p.Page32(1, 4, 214); }, LIBERR_INVALID_DATA},
        {"further offset inside the header", [](Patcher& p) { p.Page32(1, 12, 16); }, LIBERR_INVALID_DATA},
        {"second data offset beyond the end", [](Patcher& p) { p.Page32(0, 50, 0x7FFFFFF0); }, LIBERR_INVALID_DATA},
        {"table A index 1 of 1", [](Patcher& p) { p.Page16(1, 30, 1); }, LIBERR_INVALID_DATA},
        {"page number 0", [](Patcher& p) { p.Page16(1, 40, 0); }, LIBERR_INVALID_DATA},
        {"page number above the highest", [](Patcher& p) { p.Page16(1, 40, 3); }, LIBERR_INVALID_DATA},
        {"page flag 0x4 without its record", [](Patcher& p) { p.Page16(1, 28, 4); }, LIBERR_INVALID_DATA},
        {"value at 46 without page flag 0x4", [](Patcher& p) { p.Page32(1, 46, 9); }, LIBERR_INVALID_DATA},
        {"page flag 0x4 with its record",
         [](Patcher& p) {
             p.Page16(1, 28, 4);
             p.Page32(1, 46, 9);
             p.Header32(182, p.Header32Value(154));
         },
         LIBERR_OK},
        {"second rectangle empty", [](Patcher& p) { p.Page16(1, 36, 0); }, LIBERR_INVALID_DATA},
        {"second rectangle inverted", [](Patcher& p) { p.Page16(1, 38, static_cast<std::uint16_t>(-5)); }, LIBERR_INVALID_DATA},
        {"rotation 3600", [](Patcher& p) { p.Page16(1, 58, 3600); }, LIBERR_INVALID_DATA},
        {"rotation 900 swaps width and height beyond the largest",
         [](Patcher& p) { p.Page16(0, 58, 900); },
         LIBERR_INVALID_DATA},
        {"rotation 2000 keeps the page upright", [](Patcher& p) { p.Page16(0, 58, 2000); }, LIBERR_OK},
        {"entry size 57 below the version's 58", [](Patcher& p) { p.Put16(p.Header32Value(150) + 6, 57); }, LIBERR_INVALID_DATA},
        {"table shorter than page count x size", [](Patcher& p) { p.Put16(p.Header32Value(150) + 6, 200); }, LIBERR_INVALID_DATA},
        {"page table offset at another record", [](Patcher& p) { p.Header32(150, p.Header32Value(154)); }, LIBERR_INVALID_DATA},
        {"largest width not reached", [](Patcher& p) { p.Page16(0, 0, 1727); }, LIBERR_INVALID_DATA},
        {"largest height not reached", [](Patcher& p) { p.Page16(0, 2, 2199); }, LIBERR_INVALID_DATA},
        {"text without table A",
         [](Patcher& p) {
             p.Header16(138, 0);
             p.Header32(154, kNoOffset);
         },
         LIBERR_INVALID_DATA},
    });
}

TEST(OpenDocument, PageSizesScaleToBaseUnitsAndTurnSideways) {
    Patcher p = ValidPatcher();
    // Page 2 at 100 x 200 dpi: 1000 dots wide are 2000 base units at 200 dpi,
    // which passes the largest width of 2000 set here.
    p.Header16(132, 2000);
    p.Page16(1, 42, 100);
    p.Page16(0, 0, 1000);  // page 1 no longer reaches 1728; page 2 reaches 2000
    auto doc = OnBytes(p.bytes);
    ASSERT_EQ(CodeOf([&] { doc->OpenDocument(); }), LIBERR_OK);
    EXPECT_EQ(doc->Pages()[1].nWidthBase, 2000);

    // 1500 x 1000 sideways: 1000 wide, 1500 high, rotation kept as a quarter turn.
    Patcher q = ValidPatcher();
    q.Page16(1, 0, 1500);
    q.Page16(1, 2, 1000);
    q.Page16(1, 58, 3000);
    auto doc2 = OnBytes(q.bytes);
    ASSERT_EQ(CodeOf([&] { doc2->OpenDocument(); }), LIBERR_OK);
    EXPECT_EQ(doc2->Pages()[1].nWidthBase, 1000);
    EXPECT_EQ(doc2->Pages()[1].nHeightBase, 1500);
    EXPECT_EQ(doc2->Pages()[1].wRotation, 2700);
}

TEST(OpenDocument, AppendedDocumentsAreFoundByTheirTrailer) {
    const std::vector<std::uint8_t> host(5000, 0x5A);
    const auto appended = BuildAppendedDocument(host, TwoPages(true));
    EXPECT_EQ(OpenCode(appended), LIBERR_OK) << "trailer as the last 8 bytes";

    auto within = appended;
    within.insert(within.end(), 16384 - 64, 0x00);
    auto doc = OnBytes(within);
    EXPECT_EQ(CodeOf([&] { doc->OpenDocument(); }), LIBERR_OK) << "trailer found by the backward scan";
    EXPECT_EQ(doc->DocumentStart(), host.size() + 4);

    auto beyond = appended;
    beyond.insert(beyond.end(), 16384 + 64, 0x00);
    EXPECT_EQ(OpenCode(beyond), LIBERR_BAD_FORMAT) << "trailer further than 16384 bytes from the end";

    auto noLeadingMarker = appended;
    noLeadingMarker[host.size()] = 'X';
    EXPECT_EQ(OpenCode(noLeadingMarker), LIBERR_BAD_FORMAT);

    auto hugeN = appended;
    PutU32(hugeN.data() + hugeN.size() - 4, 0xFFFFFFF0u);
    EXPECT_EQ(OpenCode(hugeN), LIBERR_BAD_FORMAT) << "a start before the stream";
}

TEST(OpenDocument, ProtectedDocumentsNeedTheirPassword) {
    DocumentDescription d = TwoPages(false);
    d.password = PasswordFromText("secret");
    const auto bytes = BuildDocument(d);
    const PasswordBlock right = PasswordFromText("secret");
    const PasswordBlock wrong = PasswordFromText("secreT");
    EXPECT_EQ(OpenCode(bytes, nullptr), LIBERR_BAD_PASSWORD) << "a new object has no block";
    EXPECT_EQ(OpenCode(bytes, &wrong), LIBERR_BAD_PASSWORD);
    EXPECT_EQ(OpenCode(bytes, &right), LIBERR_OK);
    EXPECT_EQ(OpenCode(bytes, SkipProtectionCheck()), LIBERR_OK);

    auto doc = OnBytes(bytes);
    ASSERT_EQ(CodeOf([&] { doc->OpenDocument(&right); }), LIBERR_OK);
    EXPECT_EQ(CodeOf([&] { doc->OpenDocument(nullptr); }), LIBERR_OK) << "the block given before is used";
}

TEST(OpenDocument, EveryTruncatedPrefixFails) {
    std::vector<std::vector<std::uint8_t>> documents = {BuildDocument(TwoPages(false)), BuildDocument(TwoPages(true)),
                                                        BuildAppendedDocument(std::vector<std::uint8_t>(100, 1), TwoPages(true))};
    for (const auto& bytes : documents) {
        ASSERT_EQ(OpenCode(bytes), LIBERR_OK);
        for (std::size_t n = 0; n < bytes.size(); ++n) {
            std::vector<std::uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
            const LibraryErrorCode code = OpenCode(prefix);
            ASSERT_NE(code, LIBERR_OK) << "prefix of " << n << " bytes";
            ASSERT_TRUE(IsLibraryErrorCode(code));
        }
    }
}

}  // namespace

namespace {

// A compressed document whose first page's second text is `cchText` bytes.
std::vector<std::uint8_t> CompressedWithText(std::size_t cchText) {
    DocumentDescription d = TwoPages(true);
    d.pages[0].strText2 = std::string(cchText, 'm');
    return BuildDocument(d);
}

}  // namespace

TEST(OpenDocument, ExpansionBeyondTheBoundIsInvalidDataAndTheBoundCoversNestedScopes) {
    const auto bytes = CompressedWithText(30000);
    struct Case {
        const char* pszName;
        std::uint64_t cbOuter;  // 0: no outer bound
        std::uint64_t cbInner;
        LibraryErrorCode dwExpected;
    } const kCases[] = {
        {"ample bound", 0, 1 << 20, LIBERR_OK},
        {"text alone passes the bound", 0, 20000, LIBERR_INVALID_DATA},
        {"outer bound spent by an earlier read", 50000, 1 << 20, LIBERR_INVALID_DATA},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszName);
        auto doc = OnBytes(bytes);
        std::optional<ExpansionBound> outer;
        if (c.cbOuter != 0) outer.emplace(c.cbOuter);
        ASSERT_EQ(CodeOf([&] { doc->OpenDocument(); }), LIBERR_OK);
        ExpansionBound inner(c.cbInner);
        std::vector<std::uint8_t> buffer;
        const LibraryErrorCode dwCode = CodeOf([&] {
            doc->ReadPageText(doc->Pages()[0].dwText2Offset, true, buffer);
            if (c.cbOuter != 0) doc->ReadPageText(doc->Pages()[0].dwText2Offset, true, buffer);
        });
        EXPECT_EQ(c.dwExpected, dwCode);
    }
    // Without a bound the same reads go through.
    auto doc = OnBytes(bytes);
    ASSERT_EQ(CodeOf([&] { doc->OpenDocument(); }), LIBERR_OK);
    std::vector<std::uint8_t> buffer;
    EXPECT_EQ(LIBERR_OK, CodeOf([&] { doc->ReadPageText(doc->Pages()[0].dwText2Offset, true, buffer); }));
}
