#include "doctool/document_builder.h"

#include <algorithm>
#include <cstring>

#include "docengine/byte_reader.h"
#include "suite/library_error.h"

namespace docengine {
namespace {

void CopyHeaderText(char (&dest)[32], const std::string& str) {
    if (str.size() > 31) ThrowLibraryError(LIBERR_BAD_ARGUMENT, "header text longer than 31 characters");
    std::memset(dest, 0, sizeof dest);
    std::memcpy(dest, str.data(), str.size());
}

std::vector<std::uint8_t> PageTextPayload(const std::string& str) {
    if (str.size() > 32767) ThrowLibraryError(LIBERR_BAD_ARGUMENT, "page text longer than 32767 bytes");
    std::vector<std::uint8_t> payload(2 + str.size());
    PutU16(payload.data(), static_cast<std::uint16_t>(str.size()));
    std::memcpy(payload.data() + 2, str.data(), str.size());
    return payload;
}

void WriteDocument(DocumentFile& doc, const DocumentDescription& d) {
    if (d.pages.empty() || d.pages.size() > 32767) ThrowLibraryError(LIBERR_BAD_ARGUMENT, "page count");
    if (d.wResolutionX == 0 || d.wResolutionY == 0 || d.wResolutionX > 32767 || d.wResolutionY > 32767) {
        ThrowLibraryError(LIBERR_BAD_ARGUMENT, "resolution");
    }
    doc.InitHeader(d.wFlags);
    DocumentHeader& h = doc.Header();
    if (d.date) h.tsDate = *d.date;
    CopyHeaderText(h.szText1, d.strText1);
    CopyHeaderText(h.szText2, d.strText2);
    CopyHeaderText(h.szText3, d.strText3);
    h.wResolutionX = d.wResolutionX;
    h.wResolutionY = d.wResolutionY;
    h.wPageCount = static_cast<std::uint16_t>(d.pages.size());
    h.wHighestPage = h.wPageCount;
    doc.WriteDocumentStart(0);

    auto tag = [&](RecordKind kind) { return static_cast<std::int16_t>(d.bCompress ? -kind : kind); };
    const bool bAnyText = std::any_of(d.pages.begin(), d.pages.end(), [](const PageDescription& p) { return !p.strText1.empty(); });
    if (bAnyText) {
        // Pages with text refer to a text run of table A; one empty run serves.
        const std::uint8_t abRun[8] = {8, 0, 0, 0, 0, 0, 0, 0};
        h.dwTableAOffset = doc.WriteRecord(tag(kKindTableA), kNoOffset, d.bCompress, abRun, sizeof abRun);
        h.wCountA = 1;
    }

    std::vector<std::uint8_t> table(2 + d.pages.size() * kWrittenPageEntrySize);
    PutU16(table.data(), kWrittenPageEntrySize);
    for (std::size_t i = 0; i < d.pages.size(); ++i) {
        const PageDescription& p = d.pages[i];
        if (p.wWidth == 0 || p.wHeight == 0 || p.wWidth > 32767 || p.wHeight > 32767) {
            ThrowLibraryError(LIBERR_BAD_ARGUMENT, "page size");
        }
        PageEntry e;
        e.wWidth = p.wWidth;
        e.wHeight = p.wHeight;
        e.rcFirst[2] = static_cast<std::int16_t>(p.wWidth);
        e.rcFirst[3] = static_cast<std::int16_t>(p.wHeight);
        e.rcSecond[2] = static_cast<std::int16_t>(p.wWidth);
        e.rcSecond[3] = static_cast<std::int16_t>(p.wHeight);
        e.wPageNumber = static_cast<std::uint16_t>(i + 1);
        e.wResolutionX = d.wResolutionX;
        e.wResolutionY = d.wResolutionY;
        if (!p.strText1.empty()) {
            // A first text needs the page's data record.
            const std::uint8_t abData[4] = {};
            e.dwDataOffset = doc.WriteRecord(tag(kKindPageData), kNoOffset, d.bCompress, abData, sizeof abData);
            const auto payload = PageTextPayload(p.strText1);
            e.dwTextOffset = doc.WriteRecord(tag(kKindPageText), kNoOffset, d.bCompress, payload.data(), payload.size());
        }
        if (!p.strText2.empty()) {
            const auto payload = PageTextPayload(p.strText2);
            e.dwText2Offset = doc.WriteRecord(tag(kKindPageText2), kNoOffset, d.bCompress, payload.data(), payload.size());
        }
        h.wLargestWidth = std::max(h.wLargestWidth, p.wWidth);
        h.wLargestHeight = std::max(h.wLargestHeight, p.wHeight);
        std::uint8_t block[kPageStoreSize];
        e.Serialize(block);
        std::memcpy(table.data() + 2 + i * kWrittenPageEntrySize, block, kWrittenPageEntrySize);
    }
    h.dwPageTableOffset = doc.WriteRecord(tag(kKindPageTable), kNoOffset, d.bCompress, table.data(), table.size());

    if (d.password) {
        std::uint8_t abRecord[260];
        PutU32(abRecord, 1);
        const auto check = MakeProtectionCheckBlock(*d.password);
        std::memcpy(abRecord + 4, check.data(), check.size());
        h.dwProtectionOffset = doc.WriteRecord(kKindProtection, kNoOffset, false, abRecord, sizeof abRecord);
    }
    const std::uint64_t end = doc.Stream()->Tell();
    doc.WriteDocumentStart(doc.DocumentLength());
    doc.Stream()->Seek(end);
}

}  // namespace

std::vector<std::uint8_t> BuildDocument(const DocumentDescription& description) {
    auto* pStream = new MemoryStream();
    DocumentFile doc{std::unique_ptr<DocStream>(pStream)};
    WriteDocument(doc, description);
    return pStream->TakeBytes();
}

std::vector<std::uint8_t> BuildAppendedDocument(std::vector<std::uint8_t> hostBytes,
                                                const DocumentDescription& description) {
    auto* pStream = new MemoryStream(std::move(hostBytes));
    DocumentFile doc{std::unique_ptr<DocStream>(pStream)};
    std::uint8_t abMarker[4];
    PutU32(abMarker, kAppendMarker);
    pStream->Seek(pStream->Size());
    pStream->Write(abMarker, sizeof abMarker);
    WriteDocument(doc, description);
    doc.WriteAppendedTrailer();
    return pStream->TakeBytes();
}

PasswordBlock PasswordFromText(const std::string& strPassword) {
    PasswordBlock block;
    std::memcpy(block.ab, strPassword.data(), std::min(strPassword.size(), sizeof block.ab));
    return block;
}

}  // namespace docengine
