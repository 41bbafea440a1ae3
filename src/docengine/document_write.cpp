// Writing a document: the header record first, then records placed where
// the caller asks, compressed ones in chunks, and the trailer of a document
// appended to another file.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>

#include "docengine/byte_reader.h"
#include "docengine/document_file.h"
#include "docengine/document_file_detail.h"
#include "docengine/implode.h"
#include "platform/no_destructor.h"

namespace docengine {
namespace {

// The engine keeps one encoder for packing; documents are used from one
// thread at a time.
ImplodeEncoder& SharedEncoder() {
    static platform::NoDestructor<ImplodeEncoder> encoder;
    return *encoder;
}

}  // namespace

using detail::BadState;
using detail::RoundUp4;

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
