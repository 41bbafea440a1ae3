// The document container: reading (open with all structural checks, record
// reading with compressed payloads, entry table, set information, page
// texts) and writing (header, plain and compressed records, trailer).
//
// Offsets are counted from the document's first byte, which may lie inside
// a larger stream when the document was appended to another file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "docengine/doc_stream.h"

namespace docengine {

constexpr std::uint32_t kNoOffset = 0xFFFFFFFFu;
constexpr std::int16_t kDocumentTag = -292;     // 0xFEDC, written
constexpr std::int16_t kOldDocumentTag = -299;  // 0xFED5, accepted when reading
constexpr std::uint16_t kWrittenVersion = 278;
constexpr std::size_t kHeaderBlockSize = 192;
constexpr std::size_t kHeaderPayloadSize = 190;
constexpr std::size_t kHeaderRecordSize = 12 + kHeaderBlockSize;
constexpr std::size_t kPasswordBlockSize = 40;
constexpr std::size_t kEntrySlots = 25;
constexpr std::size_t kPageStoreSize = 60;
constexpr std::uint32_t kAppendMarker = 0x31304952u;  // "RI01"

enum RecordKind : std::int16_t {
    kKindHeader = 1,
    kKindPageTable = 2,
    kKindTable4 = 4,
    kKindTable5 = 5,
    kKindTableA = 6,
    kKindTableB = 7,
    kKindTableB2 = 8,
    kKindPageData = 13,
    kKindPageText = 44,
    kKindTableD = 45,
    kKindTableC = 48,
    kKindPageData2 = 78,
    kKindPageText2 = 79,
    kKindProtection = 80,
    kKindEntryTable = 81,
    kKindSetInformation = 82,
    kKindTableAWide = 200,
};

// Record flags of the extended header.
constexpr std::uint16_t kRecordCompressed = 0x2;
constexpr std::uint16_t kRecordChunked = 0x4;

struct TimeStamp {
    std::uint8_t bSecond = 0, bMinute = 0, bHour = 0, bDay = 1, bMonth = 0, bYear = 0, bDayOfWeek = 0;
    bool IsValid() const { return bSecond <= 59 && bMinute <= 59 && bHour <= 23 && bDay >= 1 && bDay <= 31 && bMonth <= 11; }
    static TimeStamp Now();
    // From a calendar date: year in full, month from 1 (stored from 0).
    static TimeStamp FromCalendar(int nYear, int nMonth, int nDay, int nHour = 0, int nMinute = 0, int nSecond = 0) {
        TimeStamp ts;
        ts.bYear = static_cast<std::uint8_t>(nYear - 1900);
        ts.bMonth = static_cast<std::uint8_t>(nMonth - 1);
        ts.bDay = static_cast<std::uint8_t>(nDay);
        ts.bHour = static_cast<std::uint8_t>(nHour);
        ts.bMinute = static_cast<std::uint8_t>(nMinute);
        ts.bSecond = static_cast<std::uint8_t>(nSecond);
        return ts;
    }
};

struct DocumentHeader {
    std::uint16_t wVersion = 0;
    std::uint32_t dwDocumentId = 0;
    char szText1[32] = {};
    char szText2[32] = {};
    char szText3[32] = {};
    TimeStamp tsFirst;
    TimeStamp tsDate;
    std::uint16_t wFlags = 0;
    std::uint32_t dwProtectionOffset = kNoOffset;
    std::uint16_t wResolutionX = 0;
    std::uint16_t wResolutionY = 0;
    std::uint16_t wLargestWidth = 0;
    std::uint16_t wLargestHeight = 0;
    std::uint16_t wPageCount = 0;
    std::uint16_t wCountA = 0, wCountB = 0, wCountC = 0, wCountD = 0;
    std::uint32_t dwField146 = 0;
    std::uint32_t dwPageTableOffset = kNoOffset;
    std::uint32_t dwTableAOffset = kNoOffset, dwTableBOffset = kNoOffset;
    std::uint32_t dwTableCOffset = kNoOffset, dwTableDOffset = kNoOffset;
    std::uint32_t dwKind5Offset = kNoOffset;
    std::uint32_t dwField174 = kNoOffset;
    std::uint16_t wHighestPage = 0;
    std::uint32_t dwFlag4RecordOffset = kNoOffset;
    std::uint32_t dwEntryTableOffset = kNoOffset;

    // The 192-byte record block (190 bytes of fields, 2 of padding).
    static DocumentHeader Parse(const std::uint8_t (&block)[kHeaderBlockSize]);
    void Serialize(std::uint8_t (&block)[kHeaderBlockSize]) const;
};

// One page as the page store keeps it: the first 60 bytes of the entry
// with defaults filled, plus what the open computed.
struct PageEntry {
    std::uint16_t wWidth = 0, wHeight = 0;
    std::uint32_t dwDataOffset = kNoOffset;
    std::uint32_t dwTextOffset = kNoOffset;
    std::uint32_t dwFurtherOffset = kNoOffset;
    std::uint32_t dwValue = 0;
    std::int16_t rcFirst[4] = {};
    std::uint16_t wPageFlags = 0;
    std::uint16_t wTableAIndex = 0;
    std::int16_t rcSecond[4] = {};
    std::uint16_t wPageNumber = 0;
    std::uint16_t wResolutionX = 0, wResolutionY = 0;
    std::uint32_t dwFlag4Value = 0;
    std::uint32_t dwData2Offset = kNoOffset;
    std::uint32_t dwText2Offset = kNoOffset;
    std::uint16_t wRotation = 0;      // a quarter turn: 0, 900, 1800, 2700
    std::int32_t nWidthBase = 0;      // size in base units, as checked
    std::int32_t nHeightBase = 0;

    static PageEntry Parse(const std::uint8_t (&block)[kPageStoreSize]);
    void Serialize(std::uint8_t (&block)[kPageStoreSize]) const;
};
constexpr std::uint16_t kPageFlag4 = 0x4;
constexpr std::uint16_t kWrittenPageEntrySize = 60;

struct PasswordBlock {
    std::uint8_t ab[kPasswordBlockSize] = {};
};
// Passed as the password block: do not examine the protection record.
inline const PasswordBlock* SkipProtectionCheck() { return reinterpret_cast<const PasswordBlock*>(~std::uintptr_t{0}); }
// The 256-byte check block that makes the given password open a document.
std::array<std::uint8_t, 256> MakeProtectionCheckBlock(const PasswordBlock& password);

struct EntryTableInfo {
    std::uint32_t dwSetInfoOffset = kNoOffset;
    std::uint32_t dwCount = 0;
    std::array<std::uint32_t, kEntrySlots> adwSlots;  // document offsets, kNoOffset for empty slots
    std::uint32_t dwSetTag = 0;
    EntryTableInfo() { adwSlots.fill(kNoOffset); }
};

struct SetInformation {
    std::uint16_t wSize = 0;
    std::uint16_t wSetNumber = 0;
    TimeStamp tsSetDate;
    std::uint16_t wSetValue16 = 0;
    std::uint32_t dwSetValue32 = 0;
    char szText1[32] = {};
    char szText2[32] = {};
    char szText3[16] = {};
    char szText4[10] = {};
};

struct PageTextView {
    const std::uint8_t* pbText = nullptr;
    std::size_t cchText = 0;
};

// A bound on the bytes that compressed records may expand to on this thread
// while it lives: each expansion is charged against it (and against any bound
// around it), and one that would pass it raises invalid data instead. A
// stream of 1 MiB may otherwise expand by a factor of nearly 200.
class ExpansionBound {
public:
    explicit ExpansionBound(std::uint64_t cbBound);
    ~ExpansionBound();
    ExpansionBound(const ExpansionBound&) = delete;
    ExpansionBound& operator=(const ExpansionBound&) = delete;
    // Called by the reader before it makes room for cb expanded bytes.
    static void Charge(std::uint64_t cb);

private:
    std::uint64_t m_cbLeft;
    ExpansionBound* m_pOuter;
};

class DocumentFile {
public:
    explicit DocumentFile(std::unique_ptr<DocStream> pStream);
    ~DocumentFile();
    DocumentFile(const DocumentFile&) = delete;
    DocumentFile& operator=(const DocumentFile&) = delete;

    DocStream* Stream() const { return m_pStream.get(); }

    // ---- reading ----
    // Finds the document in the stream, reads and checks header and page
    // table. pPassword: a block, nullptr (use the block given before, if
    // any) or SkipProtectionCheck().
    void OpenDocument(const PasswordBlock* pPassword = nullptr);
    bool IsOpen() const { return m_bOpen; }

    const DocumentHeader& Header() const { return m_header; }
    DocumentHeader& Header() { return m_header; }
    const std::vector<PageEntry>& Pages() const { return m_pages; }
    std::uint32_t DocumentLength() const { return m_dwLength; }
    std::uint64_t DocumentStart() const { return m_qwStart; }
    std::int16_t OuterTag() const { return m_outerTag; }

    // Reads the record of `kind` (0: any) at `offset` into `buffer`; returns
    // the payload bytes placed there (expanded bytes for a compressed one).
    static constexpr std::size_t kWholePayload = ~std::size_t{0};
    std::size_t ReadRecord(std::int16_t kind, std::uint32_t offset, std::vector<std::uint8_t>& buffer,
                           std::size_t maxLength = kWholePayload, std::uint16_t* pFlags = nullptr,
                           std::uint32_t* pLength = nullptr);
    // The entry table (empty when the header has none).
    EntryTableInfo ReadEntryTable();
    std::optional<SetInformation> ReadSetInformation();
    PageTextView ReadPageText(std::uint32_t offset, bool bSecond, std::vector<std::uint8_t>& buffer);
    // Checks the kind-5 table when the header has one.
    void CheckKind5Table();

    // ---- writing ----
    void InitHeader(std::uint16_t wFlags);
    // Writes the outer record header and the header record from Header().
    // The first call fixes the document's start at the stream position.
    void WriteDocumentStart(std::uint32_t dwLength);
    // Returns the record's offset. position kNoOffset: the current position.
    std::uint32_t WriteRecord(std::int16_t tag, std::uint32_t position, bool bCompress, const void* pData,
                              std::size_t cbData);
    std::uint32_t BeginCompressedRecord(std::int16_t tag);
    void WriteCompressedChunk(const void* pData, std::size_t cbData);
    void EndCompressedRecord();
    void WriteAppendedTrailer();
    // Current write position relative to the document start.
    std::uint32_t CurrentOffset() const;

private:
    struct RecordHead {
        std::int16_t tag;
        std::uint32_t total;
        std::uint32_t stored;
        std::uint16_t flags;
        std::size_t headerSize;
    };
    void LocateDocument();
    void ReadHeader();
    void CheckHeader();
    void CheckProtection();
    void ReadPageTable();
    bool IsValidOffset(std::uint32_t offset) const;
    RecordHead ReadRecordHead(std::int16_t kind, std::uint32_t offset);
    void ReadAt(std::uint64_t docOffset, void* pDest, std::size_t cb);
    void NoteWrittenLength();

    std::unique_ptr<DocStream> m_pStream;
    bool m_bOpen = false;
    DocumentHeader m_header;
    std::vector<PageEntry> m_pages;
    std::int16_t m_outerTag = 0;
    std::uint64_t m_qwStart = 0;
    std::uint32_t m_dwLength = 0;
    std::uint32_t m_dwLowestOffset = 0;
    std::optional<PasswordBlock> m_password;

    bool m_bStarted = false;
    bool m_bCompressedOpen = false;
    std::uint64_t m_qwCompressedStart = 0;
    std::uint64_t m_qwExpandedTotal = 0;
};

// The document id of a new document: the tick count multiplied by each
// non-zero field of the local date and time, kept to 32 bits.
std::uint32_t MakeDocumentId();

}  // namespace docengine
