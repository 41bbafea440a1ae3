// The header block and the page entry, each read and written in one place.
#include "docengine/document_file.h"

#include <cstring>

#include "docengine/byte_reader.h"
#include "docengine/document_file_detail.h"

namespace docengine {
namespace {

void PutTimeStamp(std::uint8_t* p, const TimeStamp& ts) {
    const std::uint8_t ab[10] = {ts.bSecond, ts.bMinute, ts.bHour, ts.bDay, ts.bMonth, ts.bYear, ts.bDayOfWeek, 0, 0, 0};
    std::memcpy(p, ab, sizeof ab);
}

}  // namespace

using detail::ReadText;
using detail::ReadTimeStamp;

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

}  // namespace docengine
