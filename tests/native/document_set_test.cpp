// Document sets: loading containers into sets, single entries (GIF wrapping
// included), merging, information records, page texts and the menu-table
// grammar. Every test ends with the engine holding no more documents or
// handles than before it: the fixture counts them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "docengine/docengine.h"
#include "test_support.h"

using namespace docengine;

namespace {

TimeStamp Date(int year, int month, int day, int hour = 12, int minute = 0, int second = 0) {
    return TimeStamp::FromCalendar(year, month, day, hour, minute, second);
}

std::vector<std::uint8_t> Document(const std::string& strName, TimeStamp date = Date(2020, 1, 1), int nPages = 1,
                                   const std::string& strSecondText = "") {
    DocumentDescription d;
    d.strText1 = strName;
    d.date = date;
    for (int i = 0; i < nPages; ++i) d.pages.emplace_back();
    d.pages[0].strText2 = strSecondText;
    return BuildDocument(d);
}

std::vector<std::uint8_t> SetBytes(std::uint32_t dwTag, const std::map<int, std::vector<std::uint8_t>>& slots,
                                   std::optional<SetInformationDescription> info = std::nullopt) {
    SetDescription d;
    d.dwTag = dwTag;
    d.info = std::move(info);
    for (const auto& [nSlot, bytes] : slots) d.aSlots[nSlot] = bytes;
    return BuildDocumentSet(d);
}

std::string NameOf(DocumentHandle h) {
    DocumentInfo info;
    if (GetDocumentInfo(h, &info) != LIBERR_OK) return "<error>";
    return info.szText1;
}

std::vector<std::uint8_t> Gif(std::uint16_t wWidth, std::uint16_t wHeight, const char* pszSignature = "GIF89a") {
    std::vector<std::uint8_t> bytes(pszSignature, pszSignature + 6);
    for (std::uint16_t v : {wWidth, wHeight}) {
        bytes.push_back(static_cast<std::uint8_t>(v));
        bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    const std::uint8_t abRest[] = {0x00, 0x00, 0x00, 0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0x00, 0x3B};
    bytes.insert(bytes.end(), std::begin(abRest), std::end(abRest));
    return bytes;
}

std::vector<std::uint8_t>& BlankTemplate() {
    static std::vector<std::uint8_t> bytes = [] {
        DocumentDescription d;
        d.strText1 = "blank";
        d.pages.emplace_back();
        return BuildDocument(d);
    }();
    return bytes;
}

bool ProvideBlank(const void** ppBytes, std::size_t* pcbBytes) {
    *ppBytes = BlankTemplate().data();
    *pcbBytes = BlankTemplate().size();
    return true;
}

class TempFile {
public:
    TempFile(const std::string& strSuffix, const std::vector<std::uint8_t>& bytes) {
        static int nCounter = 0;
        m_path = std::filesystem::temp_directory_path() /
                 ("pfc_set_" + std::to_string(::getpid()) + "_" + std::to_string(++nCounter) + strSuffix);
        WriteWholeFile(m_path.string(), bytes);
    }
    ~TempFile() { std::filesystem::remove(m_path); }
    std::string Path() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

class DocumentSetTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetBlankTemplateProvider(ProvideBlank);
        InitDocumentSet(0, &m_set);
        InitDocumentSet(0, &m_other);
        m_cDocuments = CountLiveDocuments();
        m_cHandles = CountLiveHandles();
    }
    void TearDown() override {
        FreeDocumentSet(&m_set);
        FreeDocumentSet(&m_other);
        SetBlankTemplateProvider(nullptr);
        EXPECT_EQ(CountLiveDocuments(), m_cDocuments) << "documents left open";
        EXPECT_EQ(CountLiveHandles(), m_cHandles) << "handles left open";
    }
    std::size_t LiveDocuments() const { return CountLiveDocuments() - m_cDocuments; }

    DocumentSet m_set;
    DocumentSet m_other;
    std::size_t m_cDocuments = 0;
    std::size_t m_cHandles = 0;
};

// ---- loading -----------------------------------------------------------------

TEST_F(DocumentSetTest, LoadsEverySlotWithItsDocumentAndTheTag) {
    const auto bytes = SetBytes(7, {{0, Document("zero")}, {5, Document("five", Date(2020, 1, 1), 3)},
                                    {22, Document("menu", Date(2020, 1, 1), 1, "A\x01" "a")}});
    ASSERT_EQ(LoadDocumentSet(bytes.data(), bytes.size(), &m_set), LIBERR_OK);
    EXPECT_EQ(m_set.dwTag, 7u);
    std::uint32_t dwPages = 0;
    EXPECT_EQ(NameOf(GetSetEntry(&m_set, 0)), "zero");
    EXPECT_EQ(NameOf(GetSetEntry(&m_set, 5, &dwPages)), "five");
    EXPECT_EQ(dwPages, 3u);
    EXPECT_EQ(NameOf(GetSetEntry(&m_set, 22)), "menu");
    for (std::uint32_t i : {1u, 4u, 6u, 21u, 23u, 24u, 25u, 1000u}) EXPECT_EQ(GetSetEntry(&m_set, i), nullptr) << i;
    EXPECT_EQ(LiveDocuments(), 3u);
    // Only the three-page document carries a page cursor.
    EXPECT_EQ(CountLiveHandles() - m_cHandles, 4u);
}

TEST_F(DocumentSetTest, ContainerWithoutEntryTableIsAnEmptySetWithoutTag) {
    const auto bytes = Document("plain");
    m_set.dwTag = 99;
    ASSERT_EQ(LoadDocumentSet(bytes.data(), bytes.size(), &m_set), LIBERR_OK);
    EXPECT_EQ(m_set.dwTag, 0u);
    for (DocumentHandle h : m_set.ahSlots) EXPECT_EQ(h, nullptr);
}

TEST_F(DocumentSetTest, TheTwentyFifthOffsetIsNotLoaded) {
    const auto bytes = SetBytes(1, {{23, Document("last")}, {24, Document("beyond")}});
    ASSERT_EQ(LoadDocumentSet(bytes.data(), bytes.size(), &m_set), LIBERR_OK);
    EXPECT_EQ(NameOf(m_set.ahSlots[23]), "last");
    EXPECT_EQ(m_set.ahSlots[24], nullptr);
    EXPECT_EQ(LiveDocuments(), 1u);
}

TEST_F(DocumentSetTest, FailedLoadLeavesTheCallersSetAndClosesWhatItLoaded) {
    std::vector<std::uint8_t> oldVersion = Document("old");
    oldVersion[20] = 10;  // header version 266
    oldVersion[21] = 1;
    std::vector<std::uint8_t> tooLong = Document("long");
    tooLong[4] = 0x10;  // outer length field far beyond the container
    struct Case {
        const char* pszName;
        std::vector<std::uint8_t> bad;
        LibraryErrorCode expected;
    } cases[] = {
        {"slot is not a document", std::vector<std::uint8_t>(64, 0x11), LIBERR_INVALID_DATA},
        {"embedded length beyond the container", tooLong, LIBERR_INVALID_DATA},
        {"embedded document too old", oldVersion, LIBERR_OLD_VERSION},
    };
    const auto good = SetBytes(3, {{2, Document("kept")}});
    ASSERT_EQ(LoadDocumentSet(good.data(), good.size(), &m_set), LIBERR_OK);
    for (const Case& c : cases) {
        const DocumentSet before = m_set;
        const std::size_t cBefore = LiveDocuments();
        const auto bytes = SetBytes(9, {{0, Document("first")}, {1, Document("second")}, {6, c.bad}});
        EXPECT_EQ(LoadDocumentSet(bytes.data(), bytes.size(), &m_set), c.expected) << c.pszName;
        EXPECT_EQ(std::memcmp(&before, &m_set, sizeof m_set), 0) << c.pszName;
        EXPECT_EQ(LiveDocuments(), cBefore) << c.pszName;
    }
    EXPECT_EQ(NameOf(m_set.ahSlots[2]), "kept");
}

TEST_F(DocumentSetTest, BytesThatAreNoContainerFail) {
    const std::vector<std::uint8_t> junk(100, 0x5A);
    EXPECT_EQ(LoadDocumentSet(junk.data(), junk.size(), &m_set), LIBERR_BAD_FORMAT);
    EXPECT_EQ(LoadDocumentSet(nullptr, 0, &m_set), LIBERR_BAD_FORMAT);
    EXPECT_EQ(LoadDocumentSet(junk.data(), junk.size(), nullptr), LIBERR_BAD_ARGUMENT);
}

// ---- single entries ----------------------------------------------------------

TEST_F(DocumentSetTest, GifTest) {
    std::vector<std::uint8_t> cut = Gif(10, 20);
    cut.resize(13);
    struct Case {
        std::vector<std::uint8_t> bytes;
        bool bGif;
    } cases[] = {
        {Gif(10, 20, "GIF87a"), true},
        {Gif(1, 1, "GIF89a"), true},
        {Gif(0, 20), false},
        {Gif(10, 0), false},
        {Gif(10, 20, "GIF88a"), false},
        {Gif(10, 20, "GIF89b"), false},
        {cut, false},
        {Document("doc"), false},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(IsGifImage(cases[i].bytes.data(), cases[i].bytes.size()), cases[i].bGif) << "case " << i;
}

TEST_F(DocumentSetTest, GifFileBecomesAOnePageDocumentWithTheCallersText) {
    const TempFile gif(".gif", Gif(640, 480));
    ASSERT_EQ(LoadSetEntry(&m_set, 3, nullptr, 0, gif.Path().c_str(), "caption"), LIBERR_OK);
    std::uint32_t dwPages = 0;
    DocumentHandle h = GetSetEntry(&m_set, 3, &dwPages);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(dwPages, 1u);
    DocumentInfo info;
    ASSERT_EQ(GetDocumentInfo(h, &info), LIBERR_OK);
    EXPECT_EQ(info.dwResolutionX, 300u);
    EXPECT_EQ(info.dwResolutionY, 300u);
    EXPECT_STREQ(info.szText1, "blank");
    const char* pText = nullptr;
    std::size_t cch = 0;
    ASSERT_EQ(GetPageText(h, 1, false, &pText, &cch), LIBERR_OK);
    EXPECT_EQ(std::string(pText, cch), "caption");
}

TEST_F(DocumentSetTest, GifWithoutBlankTemplateFailsAndKeepsTheSlot) {
    const auto doc = Document("old");
    ASSERT_EQ(LoadSetEntry(&m_set, 3, doc.data(), doc.size(), nullptr, nullptr), LIBERR_OK);
    DocumentHandle hOld = m_set.ahSlots[3];
    SetBlankTemplateProvider(nullptr);
    const auto gif = Gif(4, 4);
    EXPECT_EQ(LoadSetEntry(&m_set, 3, gif.data(), gif.size(), nullptr, nullptr), LIBERR_BAD_ARGUMENT);
    EXPECT_EQ(m_set.ahSlots[3], hOld);
    DocumentHandle hBlank = nullptr;
    EXPECT_EQ(OpenBlankDocument(&hBlank), LIBERR_BAD_ARGUMENT);
    EXPECT_EQ(hBlank, nullptr);
}

TEST_F(DocumentSetTest, FailedEntryKeepsTheSlotsDocument) {
    const auto doc = Document("old");
    ASSERT_EQ(LoadSetEntry(&m_set, 10, doc.data(), doc.size(), nullptr, nullptr), LIBERR_OK);
    DocumentHandle hOld = m_set.ahSlots[10];
    const TempFile neither(".bin", std::vector<std::uint8_t>(64, 'x'));
    EXPECT_EQ(LoadSetEntry(&m_set, 10, nullptr, 0, neither.Path().c_str(), nullptr), LIBERR_BAD_FORMAT);
    EXPECT_EQ(m_set.ahSlots[10], hOld);
    EXPECT_EQ(LoadSetEntry(&m_set, 10, nullptr, 0, "/nonexistent/pfc/none.doc", nullptr), LIBERR_NOT_FOUND);
    EXPECT_EQ(LoadSetEntry(&m_set, 24, doc.data(), doc.size(), nullptr, nullptr), LIBERR_BAD_ARGUMENT);
    EXPECT_EQ(m_set.ahSlots[10], hOld);
    EXPECT_EQ(NameOf(hOld), "old");
    EXPECT_EQ(LiveDocuments(), 1u);
    // A successful load replaces and closes the old one.
    const auto newer = Document("new");
    ASSERT_EQ(LoadSetEntry(&m_set, 10, newer.data(), newer.size(), nullptr, nullptr), LIBERR_OK);
    EXPECT_EQ(NameOf(m_set.ahSlots[10]), "new");
    EXPECT_EQ(LiveDocuments(), 1u);
}

TEST_F(DocumentSetTest, QvdFileNameMarksASetDocument) {
    const auto doc = Document("file");
    for (const auto& [suffix, expected] : std::vector<std::pair<std::string, std::uint32_t>>{
             {".qvd", 1}, {".QvD", 1}, {".doc", 0}, {"qvd", 0}}) {
        const TempFile file(suffix, doc);
        ASSERT_EQ(LoadSetEntry(&m_set, 0, nullptr, 0, file.Path().c_str(), nullptr), LIBERR_OK);
        DocumentInfo info;
        ASSERT_EQ(GetDocumentInfo(m_set.ahSlots[0], &info), LIBERR_OK);
        EXPECT_EQ(info.bSetDocument, expected) << suffix;
    }
    // From memory there is no file name to go by.
    ASSERT_EQ(LoadSetEntry(&m_set, 0, doc.data(), doc.size(), nullptr, nullptr), LIBERR_OK);
    DocumentInfo info;
    ASSERT_EQ(GetDocumentInfo(m_set.ahSlots[0], &info), LIBERR_OK);
    EXPECT_EQ(info.bSetDocument, 0u);
}

// ---- merging -----------------------------------------------------------------

TEST_F(DocumentSetTest, DifferentTagsMergeNothingAndCloseTheSource) {
    const auto target = SetBytes(7, {{0, Document("t0")}, {22, Document("t22")}});
    const auto source = SetBytes(5, {{0, Document("s0")}, {1, Document("s1")}, {22, Document("s22", Date(2030, 1, 1))}});
    ASSERT_EQ(LoadDocumentSet(target.data(), target.size(), &m_set), LIBERR_OK);
    ASSERT_EQ(LoadDocumentSet(source.data(), source.size(), &m_other), LIBERR_OK);
    const DocumentSet before = m_set;
    bool bChanged = true;
    std::uint32_t dwTag = 0;
    ASSERT_EQ(MergeDocumentSets(&m_other, &m_set, &bChanged, &dwTag), LIBERR_OK);
    EXPECT_FALSE(bChanged);
    EXPECT_EQ(dwTag, 7u);
    EXPECT_EQ(std::memcmp(&before, &m_set, sizeof m_set), 0);
    for (std::uint32_t i = 0; i < kLoadableSlots; ++i) EXPECT_EQ(m_other.ahSlots[i], nullptr);
    EXPECT_EQ(LiveDocuments(), 2u);
}

TEST_F(DocumentSetTest, UntaggedTargetTakesTheSourceTagAndItsDocuments) {
    const auto source = SetBytes(5, {{1, Document("s1")}});
    ASSERT_EQ(LoadDocumentSet(source.data(), source.size(), &m_other), LIBERR_OK);
    bool bChanged = false;
    std::uint32_t dwTag = 0;
    ASSERT_EQ(MergeDocumentSets(&m_other, &m_set, &bChanged, &dwTag), LIBERR_OK);
    EXPECT_TRUE(bChanged);
    EXPECT_EQ(dwTag, 5u);
    EXPECT_EQ(m_set.dwTag, 5u);
    EXPECT_EQ(NameOf(m_set.ahSlots[1]), "s1");
    EXPECT_EQ(m_other.ahSlots[1], nullptr);
}

TEST_F(DocumentSetTest, AGroupIsReplacedAsAWhole) {
    std::map<int, std::vector<std::uint8_t>> targetSlots;
    for (int i = 3; i <= 7; ++i) targetSlots[i] = Document("t" + std::to_string(i), Date(2030, 1, 1));
    targetSlots[8] = Document("t8");  // another group, untouched
    const auto target = SetBytes(0, targetSlots);
    const auto source = SetBytes(0, {{4, Document("s4", Date(2000, 1, 1))}});
    ASSERT_EQ(LoadDocumentSet(target.data(), target.size(), &m_set), LIBERR_OK);
    ASSERT_EQ(LoadDocumentSet(source.data(), source.size(), &m_other), LIBERR_OK);
    bool bChanged = false;
    ASSERT_EQ(MergeDocumentSets(&m_other, &m_set, &bChanged, nullptr), LIBERR_OK);
    EXPECT_TRUE(bChanged);
    for (int i = 3; i <= 7; ++i) {
        if (i == 4) {
            EXPECT_EQ(NameOf(m_set.ahSlots[i]), "s4");
        } else {
            EXPECT_EQ(m_set.ahSlots[i], nullptr) << i;
        }
    }
    EXPECT_EQ(NameOf(m_set.ahSlots[8]), "t8");
    EXPECT_EQ(LiveDocuments(), 2u);
}

TEST_F(DocumentSetTest, StandaloneSlotKeepsTheTargetUnlessTheSourceIsLater) {
    struct Case {
        const char* pszName;
        TimeStamp source, target;
        const char* pszWinner;
    } cases[] = {
        {"equal dates", Date(2021, 5, 5, 10, 0, 0), Date(2021, 5, 5, 10, 0, 0), "target"},
        {"source a second later", Date(2021, 5, 5, 10, 0, 1), Date(2021, 5, 5, 10, 0, 0), "source"},
        {"source a year later, earlier month", Date(2022, 1, 1), Date(2021, 12, 31), "source"},
        {"source earlier year, later month", Date(2020, 12, 31, 23, 59, 59), Date(2021, 1, 1, 0, 0, 0), "target"},
        {"source an hour earlier", Date(2021, 5, 5, 9), Date(2021, 5, 5, 10), "target"},
    };
    for (const Case& c : cases) {
        const auto target = SetBytes(1, {{22, Document("target", c.target)}});
        const auto source = SetBytes(1, {{22, Document("source", c.source)}});
        ASSERT_EQ(LoadDocumentSet(target.data(), target.size(), &m_set), LIBERR_OK);
        ASSERT_EQ(LoadDocumentSet(source.data(), source.size(), &m_other), LIBERR_OK);
        bool bChanged = false;
        ASSERT_EQ(MergeDocumentSets(&m_other, &m_set, &bChanged, nullptr), LIBERR_OK);
        EXPECT_EQ(NameOf(m_set.ahSlots[22]), c.pszWinner) << c.pszName;
        EXPECT_EQ(bChanged, std::string(c.pszWinner) == "source") << c.pszName;
        EXPECT_EQ(m_other.ahSlots[22], nullptr) << c.pszName;
        EXPECT_EQ(LiveDocuments(), 1u) << c.pszName;
        FreeDocumentSet(&m_set);
    }
}

TEST_F(DocumentSetTest, MergeRefusesASetIntoItselfOrSharedDocuments) {
    const auto bytes = SetBytes(1, {{0, Document("a")}});
    ASSERT_EQ(LoadDocumentSet(bytes.data(), bytes.size(), &m_set), LIBERR_OK);
    EXPECT_EQ(MergeDocumentSets(&m_set, &m_set, nullptr, nullptr), LIBERR_BAD_ARGUMENT);
    DocumentSet copy = m_set;
    EXPECT_EQ(MergeDocumentSets(&copy, &m_set, nullptr, nullptr), LIBERR_BAD_ARGUMENT);
    EXPECT_EQ(NameOf(m_set.ahSlots[0]), "a");
}

TEST_F(DocumentSetTest, LoadAndMergeBringsAContainerIntoATarget) {
    const auto first = SetBytes(4, {{22, Document("old menu", Date(2019, 1, 1))}, {2, Document("two")}});
    const auto second = SetBytes(4, {{22, Document("new menu", Date(2024, 1, 1))}});
    bool bChanged = false;
    std::uint32_t dwTag = 0;
    ASSERT_EQ(LoadAndMergeDocumentSet(first.data(), first.size(), &m_set, &bChanged, &dwTag), LIBERR_OK);
    ASSERT_EQ(LoadAndMergeDocumentSet(second.data(), second.size(), &m_set, &bChanged, &dwTag), LIBERR_OK);
    EXPECT_TRUE(bChanged);
    EXPECT_EQ(dwTag, 4u);
    EXPECT_EQ(NameOf(m_set.ahSlots[22]), "new menu");
    EXPECT_EQ(NameOf(m_set.ahSlots[2]), "two");
    EXPECT_EQ(LiveDocuments(), 2u);
    const std::vector<std::uint8_t> junk(64, 0);
    EXPECT_EQ(LoadAndMergeDocumentSet(junk.data(), junk.size(), &m_set, &bChanged, &dwTag), LIBERR_BAD_FORMAT);
    EXPECT_EQ(LiveDocuments(), 2u);
}

TEST_F(DocumentSetTest, RepeatedLoadMergeAndFreeLeaveNothingOpen) {
    const auto bytes = SetBytes(2, {{0, Document("a", Date(2020, 1, 1), 2)},
                                    {5, Document("b")},
                                    {22, Document("m", Date(2020, 1, 1), 1, "A\x01" "a")}});
    for (int round = 0; round < 5; ++round) {
        ASSERT_EQ(LoadAndMergeDocumentSet(bytes.data(), bytes.size(), &m_set, nullptr, nullptr), LIBERR_OK);
        ASSERT_EQ(LoadDocumentSet(bytes.data(), bytes.size(), &m_other), LIBERR_OK);
        ASSERT_EQ(MergeDocumentSets(&m_other, &m_set, nullptr, nullptr), LIBERR_OK);
        ASSERT_EQ(FreeSetEntry(&m_set, 5), LIBERR_OK);
        EXPECT_EQ(LiveDocuments(), 2u);
    }
    FreeDocumentSet(&m_set);
    EXPECT_EQ(LiveDocuments(), 0u);
    EXPECT_EQ(CountLiveHandles(), m_cHandles);
}

// ---- handles, information and texts ------------------------------------------

TEST_F(DocumentSetTest, HandlesOpenCloseAndRejectForeignPointers) {
    auto doc = Document("x");
    DocumentHandle hCopy = nullptr, hBorrowed = nullptr;
    ASSERT_EQ(OpenDocumentFromMemory(doc.data(), doc.size(), true, nullptr, &hCopy), LIBERR_OK);
    ASSERT_EQ(OpenDocumentFromMemory(doc.data(), doc.size(), false, nullptr, &hBorrowed), LIBERR_OK);
    std::fill(doc.begin(), doc.end(), 0);  // the copy must not care
    EXPECT_EQ(NameOf(hCopy), "x");
    EXPECT_EQ(LiveDocuments(), 2u);
    EXPECT_EQ(CloseDocument(hCopy), LIBERR_OK);
    EXPECT_EQ(CloseDocument(hBorrowed), LIBERR_OK);
    std::uint8_t abFake[16] = {};
    EXPECT_EQ(CloseDocument(reinterpret_cast<DocumentHandle>(abFake)), LIBERR_BAD_ARGUMENT);
    EXPECT_EQ(CloseDocument(nullptr), LIBERR_BAD_ARGUMENT);

    DocumentDescription locked;
    locked.pages.emplace_back();
    locked.password = PasswordFromText("secret");
    const auto lockedBytes = BuildDocument(locked);
    DocumentHandle hLocked = nullptr;
    EXPECT_EQ(OpenDocumentFromMemory(lockedBytes.data(), lockedBytes.size(), true, nullptr, &hLocked),
              LIBERR_BAD_PASSWORD);
    EXPECT_EQ(LoadSetEntry(&m_set, 0, lockedBytes.data(), lockedBytes.size(), nullptr, nullptr), LIBERR_BAD_PASSWORD);
}

TEST_F(DocumentSetTest, DocumentInfoOfASetContainer) {
    SetInformationDescription longForm;
    longForm.wSetNumber = 12;
    longForm.tsSetDate = Date(2023, 4, 5, 6, 7, 8);
    longForm.wSetValue16 = 0xBEEF;
    longForm.dwSetValue32 = 0x12345678;
    longForm.strText1 = "Partner";
    longForm.strText2 = "Second";
    longForm.strText3 = "Third";
    longForm.strText4 = "Fourth";
    SetInformationDescription shortForm = longForm;
    shortForm.bLongForm = false;
    for (const SetInformationDescription& form : {longForm, shortForm}) {
        SetDescription d;
        d.dwTag = 3;
        d.info = form;
        d.aSlots[1] = Document("inner");
        d.container.wFlags = 0x208;
        d.container.date = Date(2022, 2, 3, 4, 5, 6);
        d.container.pages.resize(2);
        const auto bytes = BuildDocumentSet(d);
        DocumentHandle h = nullptr;
        ASSERT_EQ(OpenDocumentFromMemory(bytes.data(), bytes.size(), false, nullptr, &h), LIBERR_OK);
        DocumentInfo info;
        ASSERT_EQ(GetDocumentInfo(h, &info), LIBERR_OK);
        EXPECT_EQ(info.bProtected, 0u);
        EXPECT_EQ(info.bHasSetInfo, 1u);
        EXPECT_EQ(info.bFlag8, 1u);
        EXPECT_EQ(info.bHasEntries, 1u);
        EXPECT_EQ(info.bSetDocument, 1u);
        EXPECT_EQ(info.bFlag200, 1u);
        EXPECT_EQ(info.dwVersion, 278u);
        EXPECT_EQ(info.dwPageCount, 2u);
        EXPECT_EQ(info.dwFlags, 0x208u);
        EXPECT_EQ(info.dwLength, bytes.size());
        const std::uint8_t abDate[6] = {6, 5, 4, 3, 1, 122};
        EXPECT_EQ(std::memcmp(info.abDate, abDate, 6), 0);
        EXPECT_EQ(info.dwSetNumber, 12u);
        const std::uint8_t abSetDate[6] = {8, 7, 6, 5, 3, 123};
        EXPECT_EQ(std::memcmp(info.abSetDate, abSetDate, 6), 0);
        EXPECT_EQ(+info.dwSetValue16, 0xBEEFu);  // packed: compared by value
        EXPECT_EQ(+info.dwSetValue32, 0x12345678u);
        EXPECT_STREQ(info.szSetText1, "Partner");
        EXPECT_STREQ(info.szSetText2, "Second");
        EXPECT_STREQ(info.szSetText3, form.bLongForm ? "Third" : "");
        EXPECT_STREQ(info.szSetText4, form.bLongForm ? "Fourth" : "");
        EXPECT_EQ(CloseDocument(h), LIBERR_OK);
    }
    // A plain document: no set fields.
    const auto plain = Document("plain");
    DocumentHandle h = nullptr;
    ASSERT_EQ(OpenDocumentFromMemory(plain.data(), plain.size(), true, nullptr, &h), LIBERR_OK);
    DocumentInfo info;
    std::memset(&info, 0xCC, sizeof info);
    ASSERT_EQ(GetDocumentInfo(h, &info), LIBERR_OK);
    EXPECT_EQ(info.bHasSetInfo + info.bHasEntries + info.bSetDocument + info.dwSetNumber, 0u);
    EXPECT_STREQ(info.szSetText1, "");
    EXPECT_EQ(CloseDocument(h), LIBERR_OK);
}

TEST_F(DocumentSetTest, PageTextsByPosition) {
    DocumentDescription d;
    d.pages.resize(3);
    d.pages[0].strText1 = "first of one";
    d.pages[0].strText2 = "second of one";
    d.pages[2].strText2 = "second of three";
    const auto bytes = BuildDocument(d);
    DocumentHandle h = nullptr;
    ASSERT_EQ(OpenDocumentFromMemory(bytes.data(), bytes.size(), true, nullptr, &h), LIBERR_OK);
    struct Case {
        std::uint32_t nPage;
        bool bSecond;
        LibraryErrorCode code;
        const char* pszText;  // null: no text
    } cases[] = {
        {1, false, LIBERR_OK, "first of one"},  {1, true, LIBERR_OK, "second of one"},
        {2, false, LIBERR_OK, nullptr},         {3, true, LIBERR_OK, "second of three"},
        {0, false, LIBERR_BAD_ARGUMENT, nullptr}, {4, true, LIBERR_BAD_ARGUMENT, nullptr},
    };
    for (const Case& c : cases) {
        const char* pText = "untouched";
        std::size_t cch = 99;
        EXPECT_EQ(GetPageText(h, c.nPage, c.bSecond, &pText, &cch), c.code) << c.nPage;
        if (c.code != LIBERR_OK) continue;
        if (c.pszText == nullptr) {
            EXPECT_EQ(pText, nullptr);
            EXPECT_EQ(cch, 0u);
        } else {
            EXPECT_EQ(std::string(pText, cch), c.pszText);
        }
    }
    // Read once and kept with the page.
    const char* p1 = nullptr;
    const char* p2 = nullptr;
    std::size_t cch = 0;
    ASSERT_EQ(GetPageText(h, 3, true, &p1, &cch), LIBERR_OK);
    ASSERT_EQ(GetPageText(h, 3, true, &p2, &cch), LIBERR_OK);
    EXPECT_EQ(p1, p2);
    EXPECT_EQ(CloseDocument(h), LIBERR_OK);
}

// ---- the menu table -----------------------------------------------------------

std::string Describe(const OemMenuTable& table) {
    std::string out;
    if (table.pszTitleText != nullptr) out += std::string("[") + table.pszTitleText + "=" + table.pszTitleCommand + "]";
    for (std::uint32_t i = 0; i < table.dwCount; ++i) {
        const OemMenuItem& item = table.aItems[i];
        if (!out.empty()) out += " ";
        out += item.pszText == nullptr ? std::string("-") : std::string(item.pszText) + "=" + item.pszCommand;
    }
    return out;
}

TEST(MenuTableGrammar, TokensToEntries) {
    std::vector<std::string> twelvePairs;
    std::string tenEntries;
    for (int i = 1; i <= 12; ++i) {
        twelvePairs.push_back("I" + std::to_string(i));
        twelvePairs.push_back("c" + std::to_string(i));
        if (i <= 10) tenEntries += (i > 1 ? " I" : "I") + std::to_string(i) + "=c" + std::to_string(i);
    }
    std::vector<std::string> manySeparators{"A", "a"};
    for (int i = 0; i < 11; ++i) manySeparators.insert(manySeparators.end(), {"-", "B", "b"});
    struct Case {
        const char* pszName;
        std::string text;
        std::string expected;
    } cases[] = {
        {"pairs and a separator", JoinMenuTokens({"Home", "open-home", "-", "Help", "open-help"}),
         "Home=open-home - Help=open-help"},
        {"title pair", JoinMenuTokens({"-", "-", "Vendor", "vendor-cmd", "Item", "item-cmd"}),
         "[Vendor=vendor-cmd] Item=item-cmd"},
        {"twelve pairs give ten", JoinMenuTokens(twelvePairs), tenEntries},
        {"trailing single token", JoinMenuTokens({"A", "a", "B"}), "A=a"},
        {"trailing separator token", JoinMenuTokens({"A", "a", "-"}), "A=a"},
        {"text before a dash is dropped", JoinMenuTokens({"X", "-", "Y", "y"}), "- Y=y"},
        {"only one title", JoinMenuTokens({"-", "-", "T", "t", "-", "-", "A", "a"}), "[T=t] A=a"},
        {"separators beyond ten ignored", JoinMenuTokens(manySeparators),
         "A=a - B=b - B=b - B=b - B=b -"},
        {"leading blanks, controls and high bytes skipped", "\x80\xFF \t\r\n" + JoinMenuTokens({"A", "a"}), "A=a"},
        {"an empty token ends the sequence", JoinMenuTokens({"A", "a", "", "B", "b"}), "A=a"},
        {"a trailing separator byte", JoinMenuTokens({"A", "a"}) + "\x01", "A=a"},
        {"nothing but blanks", "   \t", ""},
        {"empty", "", ""},
        {"commands may hold blanks and percents", JoinMenuTokens({"Open it", "open%s C:\\a b.txt"}),
         "Open it=open%s C:\\a b.txt"},
    };
    for (const Case& c : cases) {
        std::vector<char> buffer(c.text.begin(), c.text.end());
        buffer.push_back('\0');
        OemMenuTable table;
        std::memset(&table, 0xCC, sizeof table);
        ParseMenuTable(buffer.data(), &table);
        EXPECT_EQ(Describe(table), c.expected) << c.pszName;
        for (std::uint32_t i = table.dwCount; i < kMenuTableEntries; ++i) {
            EXPECT_EQ(table.aItems[i].pszCommand, nullptr) << c.pszName;
        }
    }
}

TEST_F(DocumentSetTest, MenuTableOfSlot22) {
    OemMenuTable* pTable = reinterpret_cast<OemMenuTable*>(1);
    ASSERT_EQ(GetMenuTable(&m_set, &pTable), LIBERR_OK);
    EXPECT_EQ(pTable, nullptr);

    const auto noText = SetBytes(1, {{22, Document("menu")}});
    ASSERT_EQ(LoadDocumentSet(noText.data(), noText.size(), &m_set), LIBERR_OK);
    ASSERT_EQ(GetMenuTable(&m_set, &pTable), LIBERR_OK);
    ASSERT_NE(pTable, nullptr);
    EXPECT_EQ(pTable->dwCount, 0u);
    FreeDocumentSet(&m_set);

    const auto bytes = SetBytes(1, {{22, Document("menu", Date(2020, 1, 1), 1,
                                                  JoinMenuTokens({"Home", "open-home", "-", "Help", "open-help"}))}});
    ASSERT_EQ(LoadDocumentSet(bytes.data(), bytes.size(), &m_set), LIBERR_OK);
    ASSERT_EQ(GetMenuTable(&m_set, &pTable), LIBERR_OK);
    ASSERT_NE(pTable, nullptr);
    EXPECT_EQ(Describe(*pTable), "Home=open-home - Help=open-help");
    // The table is rebuilt from the document on every call.
    ASSERT_EQ(GetMenuTable(&m_set, &pTable), LIBERR_OK);
    EXPECT_EQ(Describe(*pTable), "Home=open-home - Help=open-help");
    ReleaseSharedScratch();
    ASSERT_EQ(GetMenuTable(&m_set, &pTable), LIBERR_OK);
    EXPECT_EQ(Describe(*pTable), "Home=open-home - Help=open-help");
    EXPECT_EQ(GetMenuTable(nullptr, &pTable), LIBERR_BAD_ARGUMENT);
}

}  // namespace
