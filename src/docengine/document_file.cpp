// Locating a document in its file and reading it: the outer record or the
// trailer of an appended one, records and their compressed payloads, the
// header, the page table, the entry table and the set information.
#include "docengine/document_file.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>

#include "docengine/byte_reader.h"
#include "docengine/document_file_detail.h"
#include "docengine/implode.h"
#include "suite/library_error.h"
#include "platform/no_destructor.h"

namespace docengine {
namespace {

using detail::InRange;
using detail::Invalid;
using detail::NotADocument;
using detail::ReadText;
using detail::ReadTimeStamp;

// The engine keeps one block for compressed payloads being expanded;
// documents are used from one thread at a time.
std::vector<std::uint8_t>& CompressedScratch() {
    static platform::NoDestructor<std::vector<std::uint8_t>> scratch;
    return *scratch;
}

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

}  // namespace

using detail::BadState;
using detail::RoundUp4;

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

}  // namespace docengine
