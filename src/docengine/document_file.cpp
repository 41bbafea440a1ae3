#include "docengine/document_file.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>

#include "docengine/byte_reader.h"
#include "docengine/implode.h"
#include "suite/library_error.h"
#include "platform/no_destructor.h"

namespace docengine {
namespace {

[[noreturn]] void Invalid(const char* pszWhat) { ThrowLibraryError(LIBERR_INVALID_DATA, pszWhat); }
[[noreturn]] void NotADocument(const char* pszWhat) { ThrowLibraryError(LIBERR_BAD_FORMAT, pszWhat); }
[[noreturn]] void BadState(const char* pszWhat) { ThrowLibraryError(LIBERR_BAD_ARGUMENT, pszWhat); }

// The engine keeps one block for compressed payloads being expanded and one
// encoder for packing; documents are used from one thread at a time.
std::vector<std::uint8_t>& CompressedScratch() {
    static platform::NoDestructor<std::vector<std::uint8_t>> scratch;
    return *scratch;
}
ImplodeEncoder& SharedEncoder() {
    static platform::NoDestructor<ImplodeEncoder> encoder;
    return *encoder;
}

TimeStamp ReadTimeStamp(ByteReader& r) {
    TimeStamp ts;
    ts.bSecond = r.U8();
    ts.bMinute = r.U8();
    ts.bHour = r.U8();
    ts.bDay = r.U8();
    ts.bMonth = r.U8();
    ts.bYear = r.U8();
    ts.bDayOfWeek = r.U8();
    r.Skip(3);
    return ts;
}

void PutTimeStamp(std::uint8_t* p, const TimeStamp& ts) {
    const std::uint8_t ab[10] = {ts.bSecond, ts.bMinute, ts.bHour, ts.bDay, ts.bMonth, ts.bYear, ts.bDayOfWeek, 0, 0, 0};
    std::memcpy(p, ab, sizeof ab);
}

void ReadText(ByteReader& r, char* psz, std::size_t cb) {
    r.Bytes(psz, cb);
    psz[cb - 1] = '\0';  // the engine hands texts out as C strings
}

bool InRange(std::int64_t v, std::int64_t lo, std::int64_t hi) { return v >= lo && v <= hi; }

std::uint32_t RoundUp4(std::uint64_t v) { return static_cast<std::uint32_t>((v + 3) & ~std::uint64_t{3}); }

// The smallest page entry each version writes.
std::uint16_t MinimumEntrySize(std::uint16_t wVersion) {
    if (wVersion >= 277) return 58;
    if (wVersion >= 274) return 50;
    if (wVersion >= 268) return 42;
    return 40;
}

// Size in base units: value x base / resolution, rounded to nearest,
// clamped to 16 bits. resolution is never 0 here.
std::int32_t ToBaseUnits(std::int64_t value, std::int64_t base, std::int64_t resolution) {
    std::int64_t scaled = value * base;
    scaled += scaled >= 0 ? resolution / 2 : -(resolution / 2);
    std::int64_t result = scaled / resolution;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(result, -32768, 32767));
}

bool IsSideways(std::uint16_t wRotation) {
    return (wRotation >= 450 && wRotation <= 1349) || (wRotation >= 2250 && wRotation <= 3149);
}

std::uint16_t QuarterTurn(std::uint16_t wRotation) {
    if (wRotation < 450 || wRotation >= 3150) return 0;
    if (wRotation < 1350) return 900;
    if (wRotation < 2250) return 1800;
    return 2700;
}

// Protection. The 40-byte password block is folded into an 8-byte key by
// a 64-bit FNV-1a pass followed by a murmur-style finaliser, so every byte
// of the block moves every key byte. The check block stored in the record
// is the engine's fixed comparison block xor the key, repeated; the fixed
// block is a byte sequence from a small linear congruential generator.
std::array<std::uint8_t, 8> DeriveKey(const PasswordBlock& password) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::uint8_t b : password.ab) {
        h ^= b;
        h *= 0x100000001b3ull;
    }
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    std::array<std::uint8_t, 8> key{};
    for (std::size_t i = 0; i < 8; ++i) key[i] = static_cast<std::uint8_t>(h >> (8 * i));
    return key;
}

constexpr std::array<std::uint8_t, 256> MakeComparisonBlock() {
    std::array<std::uint8_t, 256> block{};
    std::uint32_t x = 0x5EED1E55u;
    for (std::size_t i = 0; i < block.size(); ++i) {
        x = x * 1664525u + 1013904223u;
        block[i] = static_cast<std::uint8_t>(x >> 24);
    }
    return block;
}
constexpr std::array<std::uint8_t, 256> kComparisonBlock = MakeComparisonBlock();

}  // namespace

// ---- time and ids -----------------------------------------------------------

namespace {
struct LocalTime {
    std::tm tm{};
    unsigned milliseconds = 0;
};
LocalTime NowLocal() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    LocalTime lt;
#if defined(_WIN32)
    localtime_s(&lt.tm, &t);
#else
    localtime_r(&t, &lt.tm);
#endif
    lt.milliseconds = static_cast<unsigned>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    return lt;
}
}  // namespace

TimeStamp TimeStamp::Now() {
    const LocalTime lt = NowLocal();
    TimeStamp ts;
    ts.bSecond = static_cast<std::uint8_t>(std::min(lt.tm.tm_sec, 59));
    ts.bMinute = static_cast<std::uint8_t>(lt.tm.tm_min);
    ts.bHour = static_cast<std::uint8_t>(lt.tm.tm_hour);
    ts.bDay = static_cast<std::uint8_t>(lt.tm.tm_mday);
    ts.bMonth = static_cast<std::uint8_t>(lt.tm.tm_mon);
    ts.bYear = static_cast<std::uint8_t>(lt.tm.tm_year);
    ts.bDayOfWeek = static_cast<std::uint8_t>(lt.tm.tm_wday);
    return ts;
}

std::uint32_t MakeDocumentId() {
    const LocalTime lt = NowLocal();
    std::uint32_t id = static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
    const unsigned fields[] = {static_cast<unsigned>(lt.tm.tm_year + 1900), static_cast<unsigned>(lt.tm.tm_mon + 1),
                               static_cast<unsigned>(lt.tm.tm_wday),        static_cast<unsigned>(lt.tm.tm_mday),
                               static_cast<unsigned>(lt.tm.tm_hour),        static_cast<unsigned>(lt.tm.tm_min),
                               static_cast<unsigned>(lt.tm.tm_sec),         lt.milliseconds};
    for (unsigned field : fields) {
        if (field != 0) id *= field;
    }
    return id;
}

std::array<std::uint8_t, 256> MakeProtectionCheckBlock(const PasswordBlock& password) {
    const auto key = DeriveKey(password);
    std::array<std::uint8_t, 256> block{};
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = kComparisonBlock[i] ^ key[i % 8];
    return block;
}

// ---- header and page entry layout ------------------------------------------

DocumentHeader DocumentHeader::Parse(const std::uint8_t (&block)[kHeaderBlockSize]) {
    ByteReader r(block, sizeof block);
    DocumentHeader h;
    h.wVersion = r.U16();
    h.dwDocumentId = r.U32();
    ReadText(r, h.szText1, sizeof h.szText1);
    ReadText(r, h.szText2, sizeof h.szText2);
    ReadText(r, h.szText3, sizeof h.szText3);
    h.tsFirst = ReadTimeStamp(r);
    h.tsDate = ReadTimeStamp(r);
    h.wFlags = r.U16();
    h.dwProtectionOffset = r.U32();
    h.wResolutionX = r.U16();
    h.wResolutionY = r.U16();
    h.wLargestWidth = r.U16();
    h.wLargestHeight = r.U16();
    h.wPageCount = r.U16();
    h.wCountA = r.U16();
    h.wCountB = r.U16();
    h.wCountC = r.U16();
    h.wCountD = r.U16();
    h.dwField146 = r.U32();
    h.dwPageTableOffset = r.U32();
    h.dwTableAOffset = r.U32();
    h.dwTableBOffset = r.U32();
    h.dwTableCOffset = r.U32();
    h.dwTableDOffset = r.U32();
    h.dwKind5Offset = r.U32();
    h.dwField174 = r.U32();
    h.wHighestPage = r.U16();
    r.Skip(2);
    h.dwFlag4RecordOffset = r.U32();
    h.dwEntryTableOffset = r.U32();
    return h;
}

void DocumentHeader::Serialize(std::uint8_t (&block)[kHeaderBlockSize]) const {
    std::memset(block, 0, sizeof block);
    PutU16(block + 0, wVersion);
    PutU32(block + 2, dwDocumentId);
    std::memcpy(block + 6, szText1, 31);
    std::memcpy(block + 38, szText2, 31);
    std::memcpy(block + 70, szText3, 31);
    PutTimeStamp(block + 102, tsFirst);
    PutTimeStamp(block + 112, tsDate);
    PutU16(block + 122, wFlags);
    PutU32(block + 124, dwProtectionOffset);
    PutU16(block + 128, wResolutionX);
    PutU16(block + 130, wResolutionY);
    PutU16(block + 132, wLargestWidth);
    PutU16(block + 134, wLargestHeight);
    PutU16(block + 136, wPageCount);
    PutU16(block + 138, wCountA);
    PutU16(block + 140, wCountB);
    PutU16(block + 142, wCountC);
    PutU16(block + 144, wCountD);
    PutU32(block + 146, dwField146);
    PutU32(block + 150, dwPageTableOffset);
    PutU32(block + 154, dwTableAOffset);
    PutU32(block + 158, dwTableBOffset);
    PutU32(block + 162, dwTableCOffset);
    PutU32(block + 166, dwTableDOffset);
    PutU32(block + 170, dwKind5Offset);
    PutU32(block + 174, dwField174);
    PutU16(block + 178, wHighestPage);
    PutU32(block + 182, dwFlag4RecordOffset);
    PutU32(block + 186, dwEntryTableOffset);
}

PageEntry PageEntry::Parse(const std::uint8_t (&block)[kPageStoreSize]) {
    ByteReader r(block, sizeof block);
    PageEntry e;
    e.wWidth = r.U16();
    e.wHeight = r.U16();
    e.dwDataOffset = r.U32();
    e.dwTextOffset = r.U32();
    e.dwFurtherOffset = r.U32();
    e.dwValue = r.U32();
    for (auto& v : e.rcFirst) v = r.I16();
    e.wPageFlags = r.U16();
    e.wTableAIndex = r.U16();
    for (auto& v : e.rcSecond) v = r.I16();
    e.wPageNumber = r.U16();
    e.wResolutionX = r.U16();
    e.wResolutionY = r.U16();
    e.dwFlag4Value = r.U32();
    e.dwData2Offset = r.U32();
    e.dwText2Offset = r.U32();
    e.wRotation = r.U16();
    return e;
}

void PageEntry::Serialize(std::uint8_t (&block)[kPageStoreSize]) const {
    std::memset(block, 0, sizeof block);
    PutU16(block + 0, wWidth);
    PutU16(block + 2, wHeight);
    PutU32(block + 4, dwDataOffset);
    PutU32(block + 8, dwTextOffset);
    PutU32(block + 12, dwFurtherOffset);
    PutU32(block + 16, dwValue);
    for (int i = 0; i < 4; ++i) PutU16(block + 20 + 2 * i, static_cast<std::uint16_t>(rcFirst[i]));
    PutU16(block + 28, wPageFlags);
    PutU16(block + 30, wTableAIndex);
    for (int i = 0; i < 4; ++i) PutU16(block + 32 + 2 * i, static_cast<std::uint16_t>(rcSecond[i]));
    PutU16(block + 40, wPageNumber);
    PutU16(block + 42, wResolutionX);
    PutU16(block + 44, wResolutionY);
    PutU32(block + 46, dwFlag4Value);
    PutU32(block + 50, dwData2Offset);
    PutU32(block + 54, dwText2Offset);
    PutU16(block + 58, wRotation);
}

// ---- DocumentFile: reading ---------------------------------------------------

DocumentFile::DocumentFile(std::unique_ptr<DocStream> pStream) : m_pStream(std::move(pStream)) {}
DocumentFile::~DocumentFile() = default;

void DocumentFile::ReadAt(std::uint64_t docOffset, void* pDest, std::size_t cb) {
    m_pStream->Seek(m_qwStart + docOffset);
    m_pStream->Read(pDest, cb);
}

bool DocumentFile::IsValidOffset(std::uint32_t offset) const {
    if (offset == kNoOffset) return true;
    return offset % 4 == 0 && offset >= m_dwLowestOffset && m_dwLength >= 8 && offset <= m_dwLength - 8;
}

void DocumentFile::OpenDocument(const PasswordBlock* pPassword) {
    if (!m_pStream) BadState("no stream");
    m_bOpen = false;
    m_pages.clear();
    const bool bSkipProtection = pPassword == SkipProtectionCheck();
    if (pPassword != nullptr && !bSkipProtection) m_password = *pPassword;

    LocateDocument();
    ReadHeader();
    CheckHeader();
    if (!bSkipProtection && m_header.dwProtectionOffset != kNoOffset) CheckProtection();
    ReadPageTable();
    m_bOpen = true;
}

void DocumentFile::LocateDocument() {
    const std::uint64_t size = m_pStream->Size();
    // Too short for an outer record header and for a trailer.
    if (size < 8) NotADocument("shorter than 8 bytes");
    if (size > 0xFFFFFFFFull + 16) NotADocument("larger than any document");

    auto readU32 = [&](std::uint64_t pos) {
        std::uint8_t ab[4];
        m_pStream->Seek(pos);
        m_pStream->Read(ab, 4);
        return ByteReader(ab, 4).U32();
    };
    auto readOuter = [&](std::uint64_t pos, std::int16_t* pTag, std::uint32_t* pLength) {
        std::uint8_t ab[6];
        m_pStream->Seek(pos);
        m_pStream->Read(ab, 6);
        ByteReader r(ab, 6);
        *pTag = r.I16();
        *pLength = r.U32();
    };
    auto isOuterTag = [](std::int16_t tag) { return tag == kDocumentTag || tag == kOldDocumentTag; };

    std::int16_t tag;
    std::uint32_t length;
    readOuter(0, &tag, &length);
    std::int64_t start = 0;
    std::int64_t end = static_cast<std::int64_t>(size);
    bool bFound = false;
    if (!isOuterTag(tag)) {
        if (readU32(size - 8) == kAppendMarker) {
            start = static_cast<std::int64_t>(size) - static_cast<std::int64_t>(readU32(size - 4)) + 4;
            bFound = true;
        } else {
            const std::uint64_t aligned = size & ~std::uint64_t{3};
            const std::uint64_t window = std::min<std::uint64_t>(aligned, 16384);
            const std::uint64_t first = aligned - window;
            if (window >= 8) {
                std::vector<std::uint8_t> bytes(static_cast<std::size_t>(window));
                m_pStream->Seek(first);
                m_pStream->Read(bytes.data(), bytes.size());
                ByteReader r(bytes.data(), bytes.size());
                for (std::uint64_t q = window - 8;; q -= 4) {
                    ByteReader word = r.At(static_cast<std::size_t>(q), 8);
                    if (word.U32() == kAppendMarker) {
                        const std::uint32_t n = word.U32();
                        const std::int64_t hitEnd = static_cast<std::int64_t>(first + q + 8);
                        const std::int64_t hitStart = hitEnd - static_cast<std::int64_t>(n) + 4;
                        if (hitStart <= hitEnd) {
                            start = hitStart;
                            end = hitEnd;
                            bFound = true;
                            break;
                        }
                    }
                    if (q < 4) break;
                }
            }
        }
        if (bFound && start <= end) {
            // The leading marker must sit right before the document.
            if (start >= 4 && readU32(static_cast<std::uint64_t>(start - 4)) == kAppendMarker &&
                start + 6 <= static_cast<std::int64_t>(size)) {
                readOuter(static_cast<std::uint64_t>(start), &tag, &length);
            }
        }
    }
    // At offset 0 the document fills the stream; behind a trailer it is
    // framed by the marker words.
    const std::int64_t L = bFound ? end - start - 8 : end;
    if (!isOuterTag(tag)) NotADocument("no document tag");
    if (L < 0 || static_cast<std::int64_t>(length) != L) NotADocument("length does not match");
    if (L % 4 != 0) NotADocument("length not a multiple of 4");
    m_outerTag = tag;
    m_qwStart = static_cast<std::uint64_t>(start);
    m_dwLength = static_cast<std::uint32_t>(L);
}

DocumentFile::RecordHead DocumentFile::ReadRecordHead(std::int16_t kind, std::uint32_t offset) {
    if (offset % 4 != 0) Invalid("record offset not aligned");
    if (m_dwLength < 6 || offset > m_dwLength - 6) Invalid("record beyond the document");
    std::uint8_t ab[12] = {};
    const std::size_t cbHead = std::min<std::size_t>(12, m_dwLength - offset);
    ReadAt(offset, ab, cbHead);
    ByteReader r(ab, cbHead);
    RecordHead head{};
    head.tag = r.I16();
    head.total = r.U32();
    if (head.total % 4 != 0) Invalid("record length not a multiple of 4");
    const int absTag = head.tag < 0 ? -head.tag : head.tag;
    if (kind != 0 && absTag != kind) Invalid("unexpected record kind");
    // A record must lie inside the document: bytes behind it belong to
    // whatever the document was appended to.
    if (head.total > m_dwLength - offset) Invalid("record beyond the document");
    const bool bExtended = head.tag < 0 && head.tag != kDocumentTag && head.tag != kOldDocumentTag;
    if (!bExtended) {
        if (head.total < 6) Invalid("record shorter than its header");
        head.headerSize = 6;
        head.flags = 0;
        head.stored = 0;
        return head;
    }
    if (head.total < 12) Invalid("record shorter than its header");
    head.headerSize = 12;
    head.stored = r.U32();
    head.flags = r.U16();
    if (head.flags & 1u) Invalid("reserved record flag");
    if (head.total == 12) {
        head.flags = 0;
        return head;
    }
    if (head.flags & kRecordCompressed) {
        if (head.stored % 4 != 0 || head.stored < 12) Invalid("bad stored size");
    } else if (head.flags != 0) {
        Invalid("bad record flags");
    }
    return head;
}

std::size_t DocumentFile::ReadRecord(std::int16_t kind, std::uint32_t offset, std::vector<std::uint8_t>& buffer,
                                     std::size_t maxLength, std::uint16_t* pFlags, std::uint32_t* pLength) {
    if (!m_pStream) BadState("no stream");
    const RecordHead head = ReadRecordHead(kind, offset);
    const std::uint32_t cbPayload = head.total - static_cast<std::uint32_t>(head.headerSize);
    if (pFlags != nullptr) *pFlags = head.flags;
    if (pLength != nullptr) *pLength = cbPayload;
    if (cbPayload == 0) {
        buffer.clear();
        return 0;
    }
    const std::uint64_t payloadPos = std::uint64_t{offset} + head.headerSize;
    if (!(head.flags & kRecordCompressed)) {
        const std::size_t cb = std::min<std::size_t>(cbPayload, maxLength);
        buffer.resize(cb);
        ReadAt(payloadPos, buffer.data(), cb);
        return cb;
    }

    std::vector<std::uint8_t>& scratch = CompressedScratch();
    if (scratch.size() < cbPayload) scratch.resize(cbPayload);
    ReadAt(payloadPos, scratch.data(), cbPayload);
    // The stored size comes from the file; no stream expands by more than
    // 518 bytes per 22 bits, so a larger room could never be filled and is
    // not allocated.
    const std::uint64_t cbReachable = std::uint64_t{cbPayload} * 189 + 1024;
    const std::size_t cbRoom = static_cast<std::size_t>(std::min<std::uint64_t>(head.stored - 12u, cbReachable));
    ExpansionBound::Charge(cbRoom);
    buffer.resize(cbRoom);

    std::size_t cbTotal = 0;
    ByteReader r(scratch.data(), cbPayload);
    if (!(head.flags & kRecordChunked)) {
        const int result = Explode(r.Current(), cbPayload, buffer.data(), cbRoom, &cbTotal);
        if (result != kImplodeOk) Invalid("bad compressed payload");
    } else {
        while (r.Remaining() >= 4) {
            const std::uint32_t n = r.U32();
            if (n % 4 != 0) Invalid("chunk length not a multiple of 4");
            if (n > r.Remaining()) Invalid("chunk beyond the record");
            ByteReader chunk = r.Sub(n);
            std::size_t cbChunk = 0;
            const int result = Explode(chunk.Current(), n, buffer.data() + cbTotal, cbRoom - cbTotal, &cbChunk);
            if (result != kImplodeOk) Invalid("bad compressed chunk");
            cbTotal += cbChunk;
        }
    }
    buffer.resize(cbTotal);
    return cbTotal;
}

namespace {
thread_local ExpansionBound* t_pExpansionBound = nullptr;
}  // namespace

ExpansionBound::ExpansionBound(std::uint64_t cbBound) : m_cbLeft(cbBound), m_pOuter(t_pExpansionBound) {
    t_pExpansionBound = this;
}

ExpansionBound::~ExpansionBound() { t_pExpansionBound = m_pOuter; }

void ExpansionBound::Charge(std::uint64_t cb) {
    for (ExpansionBound* pBound = t_pExpansionBound; pBound != nullptr; pBound = pBound->m_pOuter) {
        if (cb > pBound->m_cbLeft) Invalid("expands beyond its bound");
        pBound->m_cbLeft -= cb;
    }
}

void DocumentFile::ReadHeader() {
    m_dwLowestOffset = 0;
    std::vector<std::uint8_t> payload;
    const std::size_t cb = ReadRecord(kKindHeader, 8, payload);
    if (cb < 178) Invalid("header too short");
    std::uint8_t block[kHeaderBlockSize] = {};
    std::memcpy(block, payload.data(), std::min(cb, sizeof block));
    m_header = DocumentHeader::Parse(block);

    std::uint8_t abHead[6];
    ReadAt(8, abHead, 6);
    ByteReader r(abHead, 6);
    r.I16();
    m_dwLowestOffset = 8 + r.U32();

    DocumentHeader& h = m_header;
    if (h.wVersion < 267) ThrowLibraryError(LIBERR_OLD_VERSION, "version too old");
    if (m_outerTag == kOldDocumentTag && h.wVersion > 281) ThrowLibraryError(LIBERR_VERSION, "version too new");
    if (h.wVersion < 278) h.dwEntryTableOffset = kNoOffset;
    if (h.wVersion <= 272) h.dwFlag4RecordOffset = kNoOffset;
    if (h.wVersion == 267) h.wHighestPage = h.wPageCount;
    if (h.dwProtectionOffset == 0) h.dwProtectionOffset = kNoOffset;
    if (!h.tsFirst.IsValid() && h.dwEntryTableOffset != kNoOffset) h.tsFirst = h.tsDate;
}

void DocumentFile::CheckHeader() {
    const DocumentHeader& h = m_header;
    auto check = [](bool bOk, const char* pszWhat) {
        if (!bOk) Invalid(pszWhat);
    };
    auto pairRule = [&](std::uint16_t count, std::uint32_t offset, const char* pszWhat) {
        const bool bAbsent = count == 0 && offset == kNoOffset;
        const bool bPresent = InRange(count, 1, 32767) && offset != kNoOffset && IsValidOffset(offset);
        check(bAbsent || bPresent, pszWhat);
    };
    check(h.dwPageTableOffset != kNoOffset, "no page table");
    check(InRange(h.wPageCount, 1, 32767), "page count");
    check(h.wCountA >= h.wCountB, "count A below count B");
    check(InRange(h.wResolutionX, 1, 32767) && InRange(h.wResolutionY, 1, 32767), "base resolution");
    check(h.dwTableBOffset == kNoOffset || h.dwTableAOffset != kNoOffset, "table B without table A");
    check(InRange(h.wLargestWidth, 1, 32767) && InRange(h.wLargestHeight, 1, 32767), "largest page size");
    check(h.wHighestPage >= h.wPageCount && InRange(h.wHighestPage, 1, 32767), "highest page number");
    check(h.wCountC <= 256, "count C");
    check(h.tsFirst.IsValid() && h.tsDate.IsValid(), "time stamp");
    pairRule(h.wCountA, h.dwTableAOffset, "table A");
    pairRule(h.wCountB, h.dwTableBOffset, "table B");
    pairRule(h.wCountD, h.dwTableDOffset, "table D");
    pairRule(h.wCountC, h.dwTableCOffset, "table C");
    check(IsValidOffset(h.dwProtectionOffset) && IsValidOffset(h.dwEntryTableOffset), "header offset");
}

void DocumentFile::CheckProtection() {
    std::vector<std::uint8_t> payload;
    std::uint16_t flags = 0;
    const std::size_t cb = ReadRecord(kKindProtection, m_header.dwProtectionOffset, payload, kWholePayload, &flags);
    if (flags & kRecordCompressed) Invalid("compressed protection record");
    if (cb < 260) Invalid("protection record too short");
    ByteReader r(payload.data(), cb);
    if (!(r.U32() & 1u)) Invalid("protection flags");
    if (!m_password) ThrowLibraryError(LIBERR_BAD_PASSWORD, "document is protected");
    const auto key = DeriveKey(*m_password);
    for (std::size_t i = 0; i < 256; ++i) {
        if ((r.U8() ^ key[i % 8]) != kComparisonBlock[i]) ThrowLibraryError(LIBERR_BAD_PASSWORD, "wrong password");
    }
}

void DocumentFile::ReadPageTable() {
    const DocumentHeader& h = m_header;
    std::vector<std::uint8_t> payload;
    const std::size_t cb = ReadRecord(kKindPageTable, h.dwPageTableOffset, payload);
    if (cb < 2) Invalid("page table too short");
    ByteReader r(payload.data(), cb);
    const std::uint16_t entrySize = r.U16();
    std::uint64_t cbNeeded = 0;
    if (!CheckedMul(h.wPageCount, entrySize, &cbNeeded) || cbNeeded + 2 > cb) Invalid("page table too short");
    if (entrySize < MinimumEntrySize(h.wVersion)) Invalid("page entry too small");

    bool bAnyText = false, bWidth = false, bHeight = false, bResX = false, bResY = false;
    m_pages.reserve(h.wPageCount);
    for (unsigned index = 1; index <= h.wPageCount; ++index) {
        ByteReader entry = r.Sub(entrySize);
        std::uint8_t block[kPageStoreSize] = {};
        entry.Bytes(block, std::min<std::size_t>(entrySize, sizeof block));
        PageEntry e = PageEntry::Parse(block);

        if (e.dwValue == kNoOffset || h.wVersion <= 268) e.dwValue = 0;
        if (h.wVersion <= 268) e.wPageNumber = static_cast<std::uint16_t>(index);
        if (h.wVersion < 274) {
            e.wResolutionX = h.wResolutionX;
            e.wResolutionY = h.wResolutionY;
            e.dwFlag4Value = 0;
        }
        if (h.wVersion < 277) {
            e.dwData2Offset = kNoOffset;
            e.dwText2Offset = kNoOffset;
        }
        if (entrySize <= 58) e.wRotation = 0;
        if (h.wVersion <= 278) {
            e.rcFirst[0] = 0;
            e.rcFirst[1] = 0;
            e.rcFirst[2] = static_cast<std::int16_t>(e.wWidth);
            e.rcFirst[3] = static_cast<std::int16_t>(e.wHeight);
        }

        std::int64_t width = e.wWidth, height = e.wHeight;
        std::int64_t resX = e.wResolutionX, resY = e.wResolutionY;
        if (IsSideways(e.wRotation)) {
            std::swap(width, height);
            std::swap(resX, resY);
        }
        // A page resolution of 0 would divide by zero: such an entry is
        // rejected before its size is computed.
        if (!InRange(resX, 1, h.wResolutionX) || !InRange(resY, 1, h.wResolutionY)) Invalid("page resolution");
        e.nWidthBase = ToBaseUnits(width, h.wResolutionX, resX);
        e.nHeightBase = ToBaseUnits(height, h.wResolutionY, resY);

        auto check = [](bool bOk, const char* pszWhat) {
            if (!bOk) Invalid(pszWhat);
        };
        check(InRange(e.nWidthBase, 1, h.wLargestWidth), "page width");
        check(InRange(e.nHeightBase, 1, h.wLargestHeight), "page height");
        check(IsValidOffset(e.dwDataOffset) && IsValidOffset(e.dwTextOffset) && IsValidOffset(e.dwFurtherOffset) &&
                  IsValidOffset(e.dwData2Offset) && IsValidOffset(e.dwText2Offset),
              "page offset");
        check(e.dwDataOffset != kNoOffset || e.dwTextOffset == kNoOffset, "page text without data");
        check(h.wCountA == 0 ? e.wTableAIndex == 0 : e.wTableAIndex <= h.wCountA - 1, "table A index");
        check(InRange(e.wPageNumber, 1, h.wHighestPage), "page number");
        if (e.wPageFlags & kPageFlag4) {
            check(h.dwFlag4RecordOffset != kNoOffset, "page flag 0x4");
        } else {
            check(e.dwFlag4Value == 0, "page flag 0x4 value");
        }
        check(std::int32_t{e.rcSecond[2]} - e.rcSecond[0] >= 1 && std::int32_t{e.rcSecond[3]} - e.rcSecond[1] >= 1,
              "second rectangle");
        check(e.wRotation <= 3599, "rotation");
        if (e.dwDataOffset != kNoOffset) {
            check(std::int32_t{e.rcFirst[2]} - e.rcFirst[0] >= 0 && std::int32_t{e.rcFirst[3]} - e.rcFirst[1] >= 0,
                  "first rectangle");
        }

        bAnyText = bAnyText || e.dwTextOffset != kNoOffset;
        bWidth = bWidth || e.nWidthBase == h.wLargestWidth;
        bHeight = bHeight || e.nHeightBase == h.wLargestHeight;
        bResX = bResX || resX == h.wResolutionX;
        bResY = bResY || resY == h.wResolutionY;
        e.wRotation = QuarterTurn(e.wRotation);
        m_pages.push_back(e);
    }
    if (bAnyText && (h.dwTableAOffset == kNoOffset || h.wCountA == 0)) Invalid("page text without table A");
    if (!bWidth || !bHeight || !bResX || !bResY) Invalid("largest sizes not reached");
}

EntryTableInfo DocumentFile::ReadEntryTable() {
    EntryTableInfo info;
    const std::uint32_t tableOffset = m_header.dwEntryTableOffset;
    if (tableOffset == kNoOffset) return info;
    std::vector<std::uint8_t> payload;
    std::uint8_t block[142] = {};
    std::size_t cb = ReadRecord(kKindEntryTable, tableOffset, payload, 42);
    std::memcpy(block, payload.data(), std::min(cb, sizeof block));
    ByteReader r(block, sizeof block);
    const std::uint32_t infoOffset = r.U32();
    const std::uint16_t wVersion = r.U16();
    const std::uint16_t wSize = r.U16();
    const std::uint16_t wKind = r.U16();
    if (wSize >= 142) {
        cb = ReadRecord(kKindEntryTable, tableOffset, payload, 142);
        std::memset(block, 0, sizeof block);
        std::memcpy(block, payload.data(), std::min(cb, sizeof block));
    }
    if (wVersion > 10 || wSize < 10 || !IsValidOffset(infoOffset)) Invalid("entry table");
    info.dwSetInfoOffset = infoOffset;
    if ((wKind == 1 || wKind == 2) && wSize >= 142) {
        ByteReader slots(block, sizeof block);
        slots.Seek(38);
        info.dwSetTag = slots.U32();
        for (std::size_t i = 0; i < kEntrySlots; ++i) {
            const std::uint32_t slot = slots.U32();
            if (slot == kNoOffset) continue;
            const std::uint64_t absolute = std::uint64_t{slot} + tableOffset + 6;
            if (absolute >= kNoOffset || !IsValidOffset(static_cast<std::uint32_t>(absolute))) Invalid("entry slot");
            info.adwSlots[i] = static_cast<std::uint32_t>(absolute);
            ++info.dwCount;
        }
    }
    return info;
}

std::optional<SetInformation> DocumentFile::ReadSetInformation() {
    const EntryTableInfo table = ReadEntryTable();
    if (table.dwSetInfoOffset == kNoOffset) return std::nullopt;
    std::vector<std::uint8_t> payload;
    const std::size_t cb = ReadRecord(kKindSetInformation, table.dwSetInfoOffset, payload);
    ByteReader r(payload.data(), cb);
    SetInformation info;
    info.wSize = r.U16();
    if (cb < 84 || cb < info.wSize) Invalid("set information too short");
    info.wSetNumber = r.U16();
    info.tsSetDate = ReadTimeStamp(r);
    info.wSetValue16 = r.U16();
    info.dwSetValue32 = r.U32();
    ReadText(r, info.szText1, sizeof info.szText1);
    ReadText(r, info.szText2, sizeof info.szText2);
    if (info.wSize >= 110) {
        ReadText(r, info.szText3, sizeof info.szText3);
        ReadText(r, info.szText4, sizeof info.szText4);
    }
    return info;
}

PageTextView DocumentFile::ReadPageText(std::uint32_t offset, bool bSecond, std::vector<std::uint8_t>& buffer) {
    const std::size_t cb = ReadRecord(bSecond ? kKindPageText2 : kKindPageText, offset, buffer);
    ByteReader r(buffer.data(), cb);
    const std::int16_t n = r.I16();
    if (!r.Ok() || n < 1 || static_cast<std::size_t>(n) + 2 > cb) Invalid("page text");
    return PageTextView{buffer.data() + 2, static_cast<std::size_t>(n)};
}

void DocumentFile::CheckKind5Table() {
    if (m_header.dwKind5Offset == kNoOffset) return;
    std::vector<std::uint8_t> payload;
    const std::size_t cb = ReadRecord(kKindTable5, m_header.dwKind5Offset, payload);
    if (cb < 12) Invalid("kind-5 table too short");
    ByteReader r(payload.data(), cb);
    const std::uint16_t count = r.U16();
    const std::uint16_t entrySize = r.U16();
    if (!InRange(count, 1, 240) || entrySize < 8) Invalid("kind-5 table");
    if (std::uint64_t{count} * entrySize + 4 > cb) Invalid("kind-5 table too short");
    for (unsigned i = 0; i < count; ++i) {
        ByteReader entry = r.Sub(entrySize);
        entry.Skip(4);
        if (entry.U32() < 1) Invalid("kind-5 entry");
    }
}

// ---- DocumentFile: writing ---------------------------------------------------

void DocumentFile::InitHeader(std::uint16_t wFlags) {
    m_header = DocumentHeader{};
    m_header.wVersion = kWrittenVersion;
    m_header.dwDocumentId = MakeDocumentId();
    m_header.tsFirst = TimeStamp::Now();
    m_header.tsDate = m_header.tsFirst;
    m_header.wFlags = wFlags;
}

std::uint32_t DocumentFile::CurrentOffset() const {
    const std::uint64_t rel = m_pStream->Tell() - m_qwStart;
    if (m_pStream->Tell() < m_qwStart || rel > 0xFFFFFFFFu) BadState("position outside the document");
    return static_cast<std::uint32_t>(rel);
}

void DocumentFile::NoteWrittenLength() {
    const std::uint64_t cb = m_pStream->Size() - m_qwStart;
    if (cb > 0xFFFFFFFFu) ThrowLibraryError(LIBERR_OUT_OF_MEMORY, "document too large");
    m_dwLength = std::max(m_dwLength, static_cast<std::uint32_t>(cb));
}

void DocumentFile::WriteDocumentStart(std::uint32_t dwLength) {
    if (!m_pStream) BadState("no stream");
    if (!m_bStarted) {
        m_qwStart = m_pStream->Tell();
        m_bStarted = true;
    }
    std::uint8_t ab[8 + kHeaderRecordSize] = {};
    PutU16(ab, static_cast<std::uint16_t>(kDocumentTag));
    PutU32(ab + 2, dwLength);
    PutU16(ab + 8, static_cast<std::uint16_t>(-kKindHeader));
    PutU32(ab + 10, kHeaderRecordSize);
    PutU32(ab + 14, kNoOffset);
    PutU16(ab + 18, 0);
    std::uint8_t block[kHeaderBlockSize];
    m_header.Serialize(block);
    std::memcpy(ab + 20, block, sizeof block);
    m_pStream->Seek(m_qwStart);
    m_pStream->Write(ab, sizeof ab);
    m_dwLowestOffset = sizeof ab;
    NoteWrittenLength();
}

std::uint32_t DocumentFile::WriteRecord(std::int16_t tag, std::uint32_t position, bool bCompress, const void* pData,
                                        std::size_t cbData) {
    if (!m_pStream) BadState("no stream");
    if (m_bCompressedOpen) BadState("compressed record open");
    if (position != kNoOffset) {
        if (position % 4 != 0) BadState("record position not aligned");
        m_pStream->Seek(m_qwStart + position);
    }
    const std::uint32_t offset = CurrentOffset();
    if (offset % 4 != 0) BadState("record position not aligned");
    const bool bExtended = tag < 0 && tag != kDocumentTag && tag != kOldDocumentTag;
    if (bCompress && bExtended) {
        BeginCompressedRecord(tag);
        const auto* pb = static_cast<const std::uint8_t*>(pData);
        for (std::size_t done = 0; done < cbData;) {
            const std::size_t cb = std::min(cbData - done, kImplodeChunkMax);
            WriteCompressedChunk(pb + done, cb);
            done += cb;
        }
        EndCompressedRecord();
        return offset;
    }
    const std::uint64_t total = std::uint64_t{cbData} + (bExtended ? 12 : 6);
    const std::uint64_t padded = RoundUp4(total);
    if (total > 0xFFFFFFF0u) BadState("record too large");
    std::uint8_t ab[12] = {};
    PutU16(ab, static_cast<std::uint16_t>(tag));
    PutU32(ab + 2, static_cast<std::uint32_t>(padded));
    if (bExtended) PutU32(ab + 6, kNoOffset);
    m_pStream->Write(ab, bExtended ? 12 : 6);
    if (cbData != 0) m_pStream->Write(pData, cbData);
    const std::uint8_t zeros[4] = {};
    m_pStream->Write(zeros, static_cast<std::size_t>(padded - total));
    NoteWrittenLength();
    return offset;
}

std::uint32_t DocumentFile::BeginCompressedRecord(std::int16_t tag) {
    if (!m_pStream) BadState("no stream");
    if (tag >= 0 || tag == kDocumentTag || tag == kOldDocumentTag) BadState("compressed record needs a negative tag");
    if (m_bCompressedOpen) BadState("compressed record already open");
    const std::uint32_t offset = CurrentOffset();
    if (offset % 4 != 0) BadState("record position not aligned");
    std::uint8_t ab[12] = {};
    PutU16(ab, static_cast<std::uint16_t>(tag));
    PutU16(ab + 10, kRecordCompressed | kRecordChunked);
    m_pStream->Write(ab, sizeof ab);
    m_bCompressedOpen = true;
    m_qwCompressedStart = m_pStream->Tell() - sizeof ab;
    m_qwExpandedTotal = 0;
    NoteWrittenLength();
    return offset;
}

void DocumentFile::WriteCompressedChunk(const void* pData, std::size_t cbData) {
    if (!m_bCompressedOpen) BadState("no compressed record open");
    if (cbData < 1 || cbData > kImplodeChunkMax) BadState("chunk size");
    std::vector<std::uint8_t> out(std::max<std::size_t>(cbData, 2048) * 4 / 3 + 4);
    const std::size_t cbRoom = std::max<std::size_t>(cbData, 2048) * 4 / 3;
    std::size_t cbOut = 0;
    if (SharedEncoder().Compress(static_cast<const std::uint8_t*>(pData), cbData, out.data(), cbRoom, &cbOut) !=
        kImplodeOk) {
        ThrowLibraryError(LIBERR_BUFFER_TOO_SMALL, "compressed chunk too large");
    }
    const std::uint32_t n = RoundUp4(cbOut);
    std::uint8_t abLength[4];
    PutU32(abLength, n);
    m_pStream->Write(abLength, 4);
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(cbOut), out.begin() + n, std::uint8_t{0});
    m_pStream->Write(out.data(), n);
    m_qwExpandedTotal += cbData;
    NoteWrittenLength();
}

void DocumentFile::EndCompressedRecord() {
    if (!m_bCompressedOpen) BadState("no compressed record open");
    m_bCompressedOpen = false;
    const std::uint64_t end = m_pStream->Tell();
    const std::uint64_t total = end - m_qwCompressedStart;
    const std::uint64_t stored = RoundUp4(m_qwExpandedTotal + 12);
    if (total > 0xFFFFFFFFu || m_qwExpandedTotal + 15 > 0xFFFFFFFFu) BadState("record too large");
    std::uint8_t ab[8];
    PutU32(ab, static_cast<std::uint32_t>(total));
    PutU32(ab + 4, static_cast<std::uint32_t>(stored));
    m_pStream->Seek(m_qwCompressedStart + 2);
    m_pStream->Write(ab, sizeof ab);
    m_pStream->Seek(end);
}

void DocumentFile::WriteAppendedTrailer() {
    if (!m_pStream) BadState("no stream");
    std::uint8_t ab[8];
    PutU32(ab, kAppendMarker);
    PutU32(ab + 4, m_dwLength + 12);
    m_pStream->Seek(m_pStream->Size());
    m_pStream->Write(ab, sizeof ab);
}

}  // namespace docengine
