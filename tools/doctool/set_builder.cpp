#include "doctool/set_builder.h"

#include <cstring>
#include <memory>

#include "docengine/byte_reader.h"
#include "docengine/doc_stream.h"
#include "suite/library_error.h"

namespace docengine {
namespace {

constexpr std::size_t kEntryTableSize = 142;
constexpr std::uint16_t kEntryTableVersion = 1;
constexpr std::uint16_t kEntryTableKind = 1;

void PutText(std::uint8_t* p, std::size_t cbField, const std::string& str) {
    if (str.size() >= cbField) ThrowLibraryError(LIBERR_BAD_ARGUMENT, "set text too long");
    std::memcpy(p, str.data(), str.size());
}

void PutStamp(std::uint8_t* p, const TimeStamp& ts) {
    const std::uint8_t ab[10] = {ts.bSecond, ts.bMinute, ts.bHour, ts.bDay, ts.bMonth, ts.bYear, ts.bDayOfWeek, 0, 0, 0};
    std::memcpy(p, ab, sizeof ab);
}

std::vector<std::uint8_t> SetInformationPayload(const SetInformationDescription& info) {
    const std::size_t cb = info.bLongForm ? 110 : 84;
    std::vector<std::uint8_t> payload(cb);
    PutU16(payload.data(), static_cast<std::uint16_t>(cb));
    PutU16(payload.data() + 2, info.wSetNumber);
    PutStamp(payload.data() + 4, info.tsSetDate);
    PutU16(payload.data() + 14, info.wSetValue16);
    PutU32(payload.data() + 16, info.dwSetValue32);
    PutText(payload.data() + 20, 32, info.strText1);
    PutText(payload.data() + 52, 32, info.strText2);
    if (info.bLongForm) {
        PutText(payload.data() + 84, 16, info.strText3);
        PutText(payload.data() + 100, 10, info.strText4);
    }
    return payload;
}

}  // namespace

std::vector<std::uint8_t> BuildDocumentSet(const SetDescription& description) {
    DocumentDescription container = description.container;
    if (container.pages.empty()) container.pages.emplace_back();
    auto* pStream = new MemoryStream(BuildDocument(container));
    DocumentFile doc{std::unique_ptr<DocStream>(pStream)};
    doc.OpenDocument(SkipProtectionCheck());

    // The entry table first, so that every embedded document lies behind it
    // and its slot offsets (counted from the table's payload) stay positive.
    pStream->Seek(pStream->Size());
    std::uint8_t table[kEntryTableSize] = {};
    const std::uint32_t tableOffset = doc.WriteRecord(kKindEntryTable, kNoOffset, false, table, sizeof table);
    std::uint32_t infoOffset = kNoOffset;
    if (description.info) {
        const auto payload = SetInformationPayload(*description.info);
        infoOffset = doc.WriteRecord(kKindSetInformation, kNoOffset, false, payload.data(), payload.size());
    }
    PutU32(table, infoOffset);
    PutU16(table + 4, kEntryTableVersion);
    PutU16(table + 6, kEntryTableSize);
    PutU16(table + 8, kEntryTableKind);
    PutU32(table + 38, description.dwTag);
    for (std::size_t i = 0; i < description.aSlots.size(); ++i) {
        const std::vector<std::uint8_t>& embedded = description.aSlots[i];
        std::uint32_t slot = kNoOffset;
        if (!embedded.empty()) {
            if (embedded.size() % 4 != 0) ThrowLibraryError(LIBERR_BAD_ARGUMENT, "embedded document not word-sized");
            slot = doc.CurrentOffset() - (tableOffset + 6);
            pStream->Write(embedded.data(), embedded.size());
        }
        PutU32(table + 42 + 4 * i, slot);
    }
    const std::uint64_t end = pStream->Tell();
    doc.WriteRecord(kKindEntryTable, tableOffset, false, table, sizeof table);
    doc.Header().dwEntryTableOffset = tableOffset;
    pStream->Seek(0);
    doc.WriteDocumentStart(doc.DocumentLength());
    pStream->Seek(end);
    return pStream->TakeBytes();
}

std::string JoinMenuTokens(const std::vector<std::string>& tokens) {
    std::string text;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (i != 0) text += '\x01';
        text += tokens[i];
    }
    return text;
}

}  // namespace docengine
