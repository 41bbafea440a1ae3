// The rules a document's header and its kind-5 table must keep before
// anything is read through them.
#include <cstdint>
#include <vector>

#include "docengine/byte_reader.h"
#include "docengine/document_file.h"
#include "docengine/document_file_detail.h"

namespace docengine {

using detail::InRange;
using detail::Invalid;

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

}  // namespace docengine
