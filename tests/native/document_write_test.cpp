#include <gtest/gtest.h>

#include <cstring>

#include "test_support.h"

using namespace docengine;
using testing_support::CodeOf;
using testing_support::MakeCorpus;
using testing_support::OnBytes;
using testing_support::OpenCode;

namespace {

// One 1728 x 2200 page at 200 dpi, written through the engine's writer;
// `extras` adds records and header fields before the page table goes out.
std::vector<std::uint8_t> MakeDocument(std::uint16_t wVersion, std::uint16_t wEntrySize,
                                       const std::function<void(DocumentFile&, DocumentHeader&)>& extras = {}) {
    auto* pStream = new MemoryStream();
    DocumentFile doc{std::unique_ptr<DocStream>(pStream)};
    doc.InitHeader(0);
    DocumentHeader& h = doc.Header();
    h.wVersion = wVersion;
    h.wResolutionX = h.wResolutionY = 200;
    h.wLargestWidth = 1728;
    h.wLargestHeight = 2200;
    h.wPageCount = h.wHighestPage = 1;
    doc.WriteDocumentStart(0);
    if (extras) extras(doc, h);
    PageEntry e;
    e.wWidth = 1728;
    e.wHeight = 2200;
    e.rcSecond[2] = 10;
    e.rcSecond[3] = 10;
    e.wPageNumber = 1;
    e.wResolutionX = e.wResolutionY = 200;
    std::uint8_t block[kPageStoreSize];
    e.Serialize(block);
    std::vector<std::uint8_t> table(2 + wEntrySize, 0);
    PutU16(table.data(), wEntrySize);
    std::memcpy(table.data() + 2, block, std::min<std::size_t>(wEntrySize, sizeof block));
    h.dwPageTableOffset = doc.WriteRecord(-kKindPageTable, kNoOffset, true, table.data(), table.size());
    const std::uint64_t end = pStream->Tell();
    doc.WriteDocumentStart(doc.DocumentLength());
    pStream->Seek(end);
    return pStream->TakeBytes();
}

TEST(DocumentVersions, OldPageEntriesTakeTheirDefaults) {
    // A 40-byte entry of version 267: the page number is the position and
    // the resolutions are the base ones, although the entry holds none.
    const auto bytes = MakeDocument(267, 40);
    auto doc = OnBytes(bytes);
    ASSERT_EQ(CodeOf([&] { doc->OpenDocument(); }), LIBERR_OK);
    const PageEntry& page = doc->Pages()[0];
    EXPECT_EQ(page.wPageNumber, 1);
    EXPECT_EQ(page.wResolutionX, 200);
    EXPECT_EQ(page.wResolutionY, 200);
    EXPECT_EQ(page.dwText2Offset, kNoOffset);
    EXPECT_EQ(doc->Header().wHighestPage, 1);
}

TEST(DocumentVersions, SmallestEntrySizePerVersion) {
    struct Case {
        std::uint16_t wVersion, wEntrySize;
        LibraryErrorCode expected;
    };
    const Case cases[] = {
        {267, 40, LIBERR_OK}, {267, 39, LIBERR_INVALID_DATA}, {268, 42, LIBERR_OK},  {268, 41, LIBERR_INVALID_DATA},
        {273, 42, LIBERR_OK}, {274, 50, LIBERR_OK},           {274, 48, LIBERR_INVALID_DATA},
        {276, 50, LIBERR_OK}, {277, 58, LIBERR_OK},           {277, 56, LIBERR_INVALID_DATA}, {278, 58, LIBERR_OK},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OpenCode(MakeDocument(c.wVersion, c.wEntrySize)), c.expected) << c.wVersion << "/" << c.wEntrySize;
    }
}

// An entry table whose structure size is given, with slot 0 pointing at
// an embedded document, and a set information record.
std::vector<std::uint8_t> WithEntryTable(std::uint16_t wStructureSize, std::uint16_t wTableVersion = 1,
                                         std::uint16_t wKind = 1) {
    return MakeDocument(278, 60, [&](DocumentFile& doc, DocumentHeader& h) {
        std::uint8_t abInfo[110] = {};
        PutU16(abInfo, 110);
        PutU16(abInfo + 2, 7);
        abInfo[4 + 3] = 1;  // day 1
        PutU16(abInfo + 14, 11);
        PutU32(abInfo + 16, 12345);
        std::memcpy(abInfo + 20, "set text one", 12);
        const std::uint32_t infoOffset = doc.WriteRecord(kKindSetInformation, kNoOffset, false, abInfo, sizeof abInfo);
        const std::uint32_t tableOffset = doc.CurrentOffset();
        DocumentDescription embedded;
        embedded.pages.push_back({});
        const auto embeddedBytes = BuildDocument(embedded);
        std::vector<std::uint8_t> table(144 + embeddedBytes.size(), 0);
        PutU32(table.data(), infoOffset);
        PutU16(table.data() + 4, wTableVersion);
        PutU16(table.data() + 6, wStructureSize);
        PutU16(table.data() + 8, wKind);
        PutU32(table.data() + 38, 5);
        for (std::size_t i = 0; i < kEntrySlots; ++i) PutU32(table.data() + 42 + 4 * i, kNoOffset);
        PutU32(table.data() + 42, 146);  // payload offset 146: 4-aligned in the document
        table.resize(146 + embeddedBytes.size());
        std::memcpy(table.data() + 146, embeddedBytes.data(), embeddedBytes.size());
        doc.WriteRecord(kKindEntryTable, kNoOffset, false, table.data(), table.size());
        h.dwEntryTableOffset = tableOffset;
    });
}

TEST(EntryTable, SlotsAreReadFromStructureSize142) {
    const auto bytes = WithEntryTable(142);
    auto doc = OnBytes(bytes);
    ASSERT_EQ(CodeOf([&] { doc->OpenDocument(); }), LIBERR_OK);
    EntryTableInfo table;
    ASSERT_EQ(CodeOf([&] { table = doc->ReadEntryTable(); }), LIBERR_OK);
    EXPECT_EQ(table.dwCount, 1u);
    EXPECT_EQ(table.dwSetTag, 5u);
    const std::uint32_t slot = table.adwSlots[0];
    EXPECT_EQ(slot, doc->Header().dwEntryTableOffset + 6 + 146);
    EXPECT_EQ(table.adwSlots[1], kNoOffset);
    // The slot holds a complete document of its own.
    std::vector<std::uint8_t> embedded(bytes.begin() + slot, bytes.begin() + slot + (bytes[slot + 2] | bytes[slot + 3] << 8));
    EXPECT_EQ(OpenCode(embedded), LIBERR_OK);

    std::optional<SetInformation> info;
    ASSERT_EQ(CodeOf([&] { info = doc->ReadSetInformation(); }), LIBERR_OK);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->wSetNumber, 7);
    EXPECT_EQ(info->dwSetValue32, 12345u);
    EXPECT_STREQ(info->szText1, "set text one");
}

TEST(EntryTable, RulesAndTheirCodes) {
    struct Case {
        const char* pszName;
        std::uint16_t wSize, wVersion, wKind;
        LibraryErrorCode expected;
        std::uint32_t dwCount;
    };
    const Case cases[] = {
        {"structure size 141 reports no slots", 141, 1, 1, LIBERR_OK, 0},
        {"kind 3 reports no slots", 142, 1, 3, LIBERR_OK, 0},
        {"kind 2 reads slots", 142, 1, 2, LIBERR_OK, 1},
        {"table version 11", 142, 11, 1, LIBERR_INVALID_DATA, 0},
        {"structure size 9", 9, 1, 1, LIBERR_INVALID_DATA, 0},
    };
    for (const Case& c : cases) {
        const auto bytes = WithEntryTable(c.wSize, c.wVersion, c.wKind);
        auto doc = OnBytes(bytes);
        ASSERT_EQ(CodeOf([&] { doc->OpenDocument(); }), LIBERR_OK) << c.pszName;
        EntryTableInfo table;
        EXPECT_EQ(CodeOf([&] { table = doc->ReadEntryTable(); }), c.expected) << c.pszName;
        EXPECT_EQ(table.dwCount, c.dwCount) << c.pszName;
    }
    // A slot whose sum is not a valid offset.
    auto bytes = WithEntryTable(142);
    auto probe = OnBytes(bytes);
    ASSERT_EQ(CodeOf([&] { probe->OpenDocument(); }), LIBERR_OK);
    PutU32(bytes.data() + probe->Header().dwEntryTableOffset + 6 + 42 + 4, 3);
    auto doc = OnBytes(bytes);
    ASSERT_EQ(CodeOf([&] { doc->OpenDocument(); }), LIBERR_OK);
    EXPECT_EQ(CodeOf([&] { doc->ReadEntryTable(); }), LIBERR_INVALID_DATA);
}

TEST(EntryTable, OlderVersionsHaveNone) {
    // Below version 278 the offset at 186 is not part of the header.
    const auto bytes = MakeDocument(277, 58, [](DocumentFile&, DocumentHeader& h) { h.dwEntryTableOffset = 8; });
    auto doc = OnBytes(bytes);
    ASSERT_EQ(CodeOf([&] { doc->OpenDocument(); }), LIBERR_OK);
    EXPECT_EQ(doc->Header().dwEntryTableOffset, kNoOffset);
}

TEST(Kind5Table, Rules) {
    struct Case {
        const char* pszName;
        std::uint16_t count, entrySize;
        std::uint32_t value;
        std::size_t cbPayload;
        LibraryErrorCode expected;
    };
    const Case cases[] = {
        {"two entries", 2, 8, 1, 20, LIBERR_OK},
        {"count 0", 0, 8, 1, 20, LIBERR_INVALID_DATA},
        {"count 241", 241, 8, 1, 20, LIBERR_INVALID_DATA},
        {"entry size 7", 2, 7, 1, 20, LIBERR_INVALID_DATA},
        {"entries beyond the payload", 3, 8, 1, 20, LIBERR_INVALID_DATA},
        {"value 0", 2, 8, 0, 20, LIBERR_INVALID_DATA},
        {"payload of 8 bytes", 1, 4, 1, 8, LIBERR_INVALID_DATA},
    };
    for (const Case& c : cases) {
        const auto bytes = MakeDocument(278, 60, [&](DocumentFile& doc, DocumentHeader& h) {
            std::vector<std::uint8_t> payload(c.cbPayload, 0);
            PutU16(payload.data(), c.count);
            PutU16(payload.data() + 2, c.entrySize);
            for (std::size_t pos = 4; pos + 8 <= payload.size(); pos += 8) PutU32(payload.data() + pos + 4, c.value);
            h.dwKind5Offset = doc.WriteRecord(-kKindTable5, kNoOffset, true, payload.data(), payload.size());
        });
        auto doc = OnBytes(bytes);
        ASSERT_EQ(CodeOf([&] { doc->OpenDocument(); }), LIBERR_OK) << c.pszName;
        EXPECT_EQ(CodeOf([&] { doc->CheckKind5Table(); }), c.expected) << c.pszName;
    }
}

TEST(CompressedRecords, A200KRecordInFourChunksReadsBackByteForByte) {
    std::vector<std::uint8_t> data;
    for (const auto& item : MakeCorpus()) data.insert(data.end(), item.bytes.begin(), item.bytes.end());
    data.resize(65536 * 3 + 7392);
    std::uint32_t offset = 0;
    const auto bytes = MakeDocument(278, 60, [&](DocumentFile& doc, DocumentHeader&) {
        offset = doc.BeginCompressedRecord(-kKindTableB2);
        std::size_t done = 0;
        for (std::size_t cb : {65536u, 65536u, 65536u, 7392u}) {
            doc.WriteCompressedChunk(data.data() + done, cb);
            done += cb;
        }
        doc.EndCompressedRecord();
    });
    auto doc = OnBytes(bytes);
    ASSERT_EQ(CodeOf([&] { doc->OpenDocument(); }), LIBERR_OK);
    std::vector<std::uint8_t> out;
    std::uint16_t flags = 0;
    std::size_t cb = 0;
    ASSERT_EQ(CodeOf([&] { cb = doc->ReadRecord(kKindTableB2, offset, out, 16, &flags); }), LIBERR_OK);
    EXPECT_EQ(flags, kRecordCompressed | kRecordChunked);
    ASSERT_EQ(cb, data.size());
    EXPECT_TRUE(out == data);
    // Stored size: 12 + the expanded bytes, rounded up to 4.
    const std::uint32_t stored = bytes[offset + 6] | bytes[offset + 7] << 8 | bytes[offset + 8] << 16 |
                                 std::uint32_t{bytes[offset + 9]} << 24;
    EXPECT_EQ(stored, (data.size() + 12 + 3) & ~std::size_t{3});
}

// A document with one extra record written raw by the test.
std::vector<std::uint8_t> WithRawRecord(const std::vector<std::uint8_t>& record, std::uint32_t* pOffset) {
    return MakeDocument(278, 60, [&](DocumentFile& doc, DocumentHeader&) {
        *pOffset = doc.CurrentOffset();
        doc.Stream()->Write(record.data(), record.size());
    });
}

std::vector<std::uint8_t> RawRecord(std::int16_t tag, std::uint32_t total, std::uint32_t stored, std::uint16_t flags,
                                    std::vector<std::uint8_t> payload) {
    std::vector<std::uint8_t> r((12 + payload.size() + 3) & ~std::size_t{3}, 0);
    PutU16(r.data(), static_cast<std::uint16_t>(tag));
    PutU32(r.data() + 2, total);
    PutU32(r.data() + 6, stored);
    PutU16(r.data() + 10, flags);
    for (std::size_t i = 0; i < payload.size(); ++i) r[12 + i] = payload[i];
    return r;
}

TEST(ReadRecord, HeaderFormsAndTheirCodes) {
    ImplodeEncoder encoder;
    const std::vector<std::uint8_t> text(3000, 'q');
    std::vector<std::uint8_t> stream(4000);
    std::size_t cbStream = 0;
    ASSERT_EQ(encoder.Compress(text.data(), text.size(), stream.data(), stream.size(), &cbStream), kImplodeOk);
    stream.resize(cbStream);
    const std::uint32_t total = static_cast<std::uint32_t>(12 + ((cbStream + 3) & ~std::size_t{3}));

    struct Case {
        const char* pszName;
        std::vector<std::uint8_t> record;
        std::int16_t kind;
        LibraryErrorCode expected;
        std::size_t cbExpected;
    };
    const std::vector<Case> cases = {
        {"plain", {13, 0, 12, 0, 0, 0, 1, 2, 3, 4, 5, 6}, 13, LIBERR_OK, 6},
        {"plain, any kind", {13, 0, 12, 0, 0, 0, 1, 2, 3, 4, 5, 6}, 0, LIBERR_OK, 6},
        {"wrong kind", {13, 0, 12, 0, 0, 0, 1, 2, 3, 4, 5, 6}, 44, LIBERR_INVALID_DATA, 0},
        {"plain length 4", {13, 0, 4, 0, 0, 0, 0, 0}, 13, LIBERR_INVALID_DATA, 0},
        {"length not a multiple of 4", {13, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 13, LIBERR_INVALID_DATA, 0},
        {"extended length 8", RawRecord(-13, 8, 0, 0, {}), 13, LIBERR_INVALID_DATA, 0},
        {"extended, empty with flags", RawRecord(-13, 12, 0, 6, {}), 13, LIBERR_OK, 0},
        {"flag bit 0", RawRecord(-13, 16, 0, 1, {0, 0, 0, 0}), 13, LIBERR_INVALID_DATA, 0},
        {"flags 4 alone", RawRecord(-13, 16, 0, 4, {0, 0, 0, 0}), 13, LIBERR_INVALID_DATA, 0},
        {"stored size not a multiple of 4", RawRecord(-13, total, 3014, 2, stream), 13, LIBERR_INVALID_DATA, 0},
        {"one stream, no chunks", RawRecord(-13, total, 3012, 2, stream), 13, LIBERR_OK, 3000},
        {"one stream, room too small", RawRecord(-13, total, 2012, 2, stream), 13, LIBERR_INVALID_DATA, 0},
        {"record beyond the document", RawRecord(-13, 0x10000, 0, 0, {}), 13, LIBERR_INVALID_DATA, 0},
        {"chunk length not a multiple of 4", RawRecord(-13, 20, 100, 6, {5, 0, 0, 0, 0, 0, 0, 0}), 13, LIBERR_INVALID_DATA, 0},
        {"chunk longer than the record", RawRecord(-13, 20, 100, 6, {8, 1, 0, 0, 0, 0, 0, 0}), 13, LIBERR_INVALID_DATA, 0},
        {"chunk of garbage", RawRecord(-13, 20, 100, 6, {4, 0, 0, 0, 7, 7, 7, 7}), 13, LIBERR_INVALID_DATA, 0},
    };
    for (const Case& c : cases) {
        std::uint32_t offset = 0;
        const auto bytes = WithRawRecord(c.record, &offset);
        auto doc = OnBytes(bytes);
        ASSERT_EQ(CodeOf([&] { doc->OpenDocument(); }), LIBERR_OK) << c.pszName;
        std::vector<std::uint8_t> out;
        std::size_t cb = 0;
        EXPECT_EQ(CodeOf([&] { cb = doc->ReadRecord(c.kind, offset, out); }), c.expected) << c.pszName;
        EXPECT_EQ(cb, c.cbExpected) << c.pszName;
    }
}

TEST(ReadRecord, PlainPayloadIsCutAtMaxLength) {
    std::uint32_t offset = 0;
    const auto bytes = WithRawRecord({13, 0, 12, 0, 0, 0, 1, 2, 3, 4, 5, 6}, &offset);
    auto doc = OnBytes(bytes);
    ASSERT_EQ(CodeOf([&] { doc->OpenDocument(); }), LIBERR_OK);
    std::vector<std::uint8_t> out;
    std::uint32_t length = 0;
    EXPECT_EQ(doc->ReadRecord(13, offset, out, 4, nullptr, &length), 4u);
    EXPECT_EQ(length, 6u);
    EXPECT_EQ(out, (std::vector<std::uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(CodeOf([&] { doc->ReadRecord(13, offset + 2, out); }), LIBERR_INVALID_DATA) << "offset not aligned";
}

TEST(Writer, RecordsOutOfOrderAreBadArguments) {
    struct Case {
        const char* pszName;
        std::function<void(DocumentFile&)> misuse;
    };
    const std::vector<Case> cases = {
        {"record at an unaligned position", [](DocumentFile& d) { d.WriteRecord(13, 214, false, "x", 1); }},
        {"record at an unaligned current position",
         [](DocumentFile& d) {
             d.Stream()->Write("ab", 2);
             d.WriteRecord(13, kNoOffset, false, "x", 1);
         }},
        {"end without begin", [](DocumentFile& d) { d.EndCompressedRecord(); }},
        {"chunk without begin", [](DocumentFile& d) { d.WriteCompressedChunk("x", 1); }},
        {"begin with a positive tag", [](DocumentFile& d) { d.BeginCompressedRecord(13); }},
        {"begin twice",
         [](DocumentFile& d) {
             d.BeginCompressedRecord(-13);
             d.BeginCompressedRecord(-13);
         }},
        {"empty chunk",
         [](DocumentFile& d) {
             d.BeginCompressedRecord(-13);
             d.WriteCompressedChunk("x", 0);
         }},
        {"chunk of 65537 bytes",
         [](DocumentFile& d) {
             std::vector<std::uint8_t> big(65537);
             d.BeginCompressedRecord(-13);
             d.WriteCompressedChunk(big.data(), big.size());
         }},
    };
    for (const Case& c : cases) {
        DocumentFile doc{std::make_unique<MemoryStream>()};
        doc.InitHeader(0);
        doc.WriteDocumentStart(0);
        EXPECT_EQ(CodeOf([&] { c.misuse(doc); }), LIBERR_BAD_ARGUMENT) << c.pszName;
    }
    DocumentFile noStream{nullptr};
    EXPECT_EQ(CodeOf([&] { noStream.OpenDocument(); }), LIBERR_BAD_ARGUMENT);
}

TEST(Writer, PlainRecordsArePaddedAndLengthTracked) {
    auto* pStream = new MemoryStream();
    DocumentFile doc{std::unique_ptr<DocStream>(pStream)};
    doc.InitHeader(0x208);
    EXPECT_EQ(doc.Header().wVersion, kWrittenVersion);
    EXPECT_EQ(doc.Header().dwPageTableOffset, kNoOffset);
    EXPECT_TRUE(doc.Header().tsFirst.IsValid());
    doc.WriteDocumentStart(0);
    EXPECT_EQ(doc.WriteRecord(13, kNoOffset, false, "abcde", 5), kHeaderRecordSize + 8);
    EXPECT_EQ(doc.WriteRecord(-13, kNoOffset, false, "abc", 3), kHeaderRecordSize + 8 + 12);
    const auto& bytes = pStream->Bytes();
    ASSERT_EQ(bytes.size(), kHeaderRecordSize + 8 + 12 + 16);
    EXPECT_EQ(bytes[kHeaderRecordSize + 8 + 2], 12) << "6 + 5 bytes padded to 12";
    EXPECT_EQ(bytes[kHeaderRecordSize + 8 + 12 + 2], 16) << "12 + 3 bytes padded to 16";
    EXPECT_EQ(doc.DocumentLength(), bytes.size());
}

}  // namespace
